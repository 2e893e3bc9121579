// Whatever lies in the folder, the start button's run never crashes or hangs, reports each bad
// file by name and goes on, writes only whole JPEGs, leaves no temporary file and changes no
// file it did not write. Every case runs through the window's run on a real folder; outputs
// are decoded again by libjpeg-turbo's djpeg, a decoder independent of ours.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "HostileBatchSupport.h"
#include "app/FormMain.h"

namespace quillane {
namespace {

using testing::Bytes;
using testing::DjpegSize;
using testing::FolderAudit;
using testing::Have;
using testing::kPrefix;
using testing::MessageRecorder;
using testing::ReadAll;
using testing::Shell;
using testing::TempFolder;
using testing::WriteAll;
using testing::WriteNoisePpm;

class HostileBatch : public testing::BatchWithToolsTest {
  protected:
    // Runs the start button on the folder; checks the audit with the typed size.
    void Run(const std::string& width, const std::string& height) {
        const FolderAudit audit(folder.Path());
        form.DirS.SetPath(folder.Path());
        form.txtW.SetText(width);
        form.txtH.SetText(height);
        form.CMD_OK.Click();
        audit.Check(std::atoi(width.c_str()), std::atoi(height.c_str()), scratch);
    }

    // A good picture made by ImageMagick, content decided by the extension given to convert.
    void Picture(const std::string& name, const std::string& format = "",
                 const std::string& size = "40x30") {
        ASSERT_TRUE(Shell("convert -size " + size + " gradient:red-blue " + format + "'" +
                          (folder / name) + "'"))
            << name;
    }

    // The messages that name a file, and the final one.
    std::vector<std::string> FileMessages() const {
        std::vector<std::string> texts;
        for (const auto& message : recorder.Messages) {
            if (message.Title == "Quillane") texts.push_back(message.Prompt);
        }
        return texts;
    }
    std::string Final() const {
        return recorder.Messages.empty() ? "" : recorder.Messages.back().Prompt;
    }
    // True when exactly one message names the file.
    bool ReportedOnce(const std::string& name) const {
        int count = 0;
        for (const auto& text : FileMessages())
            count += text.find("'" + name + "'") != std::string::npos;
        return count == 1;
    }

    TempFolder folder;
    MessageRecorder recorder;
    FormMain form;
};

TEST_F(HostileBatch, EmptyGarbageAndDisguisedFiles) {
    const struct {
        const char* Name;
        Bytes Content;
        bool Converts;
    } cases[] = {
        {"empty.jpg", "", false},
        {"empty.bmp", "", false},
        {"text.jpg", "This is a shopping list, not a picture.\n", false},
        {"zeros.jpg", Bytes(4096, '\0'), false},
        {"jpegstart.jpg", "\xFF\xD8\xFF\xE0garbage after the start marker", false},
        {"bmpstart.bmp", "BM" + Bytes(60, '\x7F'), false},
        {"onlymarker.jpg", "\xFF\xD8", false},
    };
    for (const auto& c : cases) WriteAll(folder / c.Name, c.Content);
    Picture("png.jpg", "png:");  // content decides, not the name
    Picture("gif.bmp", "gif:");
    Picture("bmp.jpg", "bmp3:");

    Run("33", "21");

    EXPECT_EQ(Final(), "调整成功:10张图片！");
    EXPECT_EQ(FileMessages().size(), std::size(cases));
    for (const auto& c : cases) {
        EXPECT_TRUE(ReportedOnce(c.Name)) << c.Name;
        EXPECT_FALSE(std::filesystem::exists(folder / (kPrefix + c.Name))) << c.Name;
    }
    for (const char* made : {"处理后png.jpg", "处理后gif.jpg", "处理后bmp.jpg"}) {
        EXPECT_TRUE(std::filesystem::exists(folder / made)) << made;
    }
}

TEST_F(HostileBatch, TruncatedPicturesAtManyCutPointsAreRefusedWhole) {
    WriteNoisePpm(folder / "noise.ppm", 48, 40);
    ASSERT_TRUE(
        Shell("cjpeg -outfile '" + (folder / "b.jpg") + "' '" + (folder / "noise.ppm") + "'"));
    ASSERT_TRUE(Shell("cjpeg -progressive -outfile '" + (folder / "p.jpg") + "' '" +
                      (folder / "noise.ppm") + "'"));
    ASSERT_TRUE(
        Shell("convert '" + (folder / "noise.ppm") + "' bmp3:'" + (folder / "n.bmp") + "'"));
    ASSERT_TRUE(Shell("convert '" + (folder / "noise.ppm") + "' -colors 16 -compress RLE bmp3:'" +
                      (folder / "r.bmp") + "'"));
    constexpr int kCuts = 24;  // from 0 bytes to 23/24 of the file
    std::vector<std::string> cutNames;
    for (const char* source : {"b.jpg", "p.jpg", "n.bmp", "r.bmp"}) {
        const Bytes whole = ReadAll(folder / source);
        ASSERT_GT(whole.size(), 500u) << source;
        for (int step = 0; step < kCuts; ++step) {
            const std::string name = "cut" + std::to_string(step) + "_" + source;
            WriteAll(folder / name, whole.substr(0, whole.size() * step / kCuts));
            cutNames.push_back(name);
        }
        std::filesystem::remove(folder / source);
    }

    Run("24", "20");

    EXPECT_EQ(Final(), "调整成功:" + std::to_string(cutNames.size()) + "张图片！");
    for (const auto& name : cutNames) {
        EXPECT_TRUE(ReportedOnce(name)) << name;
        EXPECT_FALSE(std::filesystem::exists(folder / (kPrefix + name))) << name;
    }
}

// A 4 x 4, 8-bit BMP with a 256-colour palette, and where each header field lives.
Bytes PaletteBmp() {
    Bytes bytes = "BM";
    const auto put = [&bytes](std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
    };
    put(14 + 40 + 1024 + 16, 4), put(0, 4), put(14 + 40 + 1024, 4);
    put(40, 4), put(4, 4), put(4, 4), put(1, 2), put(8, 2), put(0, 4), put(16, 4);
    put(0, 4), put(0, 4), put(256, 4), put(0, 4);
    for (int i = 0; i < 256; ++i) put(static_cast<std::uint32_t>(i * 0x010101), 4);
    for (int i = 0; i < 16; ++i) bytes.push_back(static_cast<char>(i * 16));
    return bytes;
}
enum BmpField {
    kOffBits = 10,
    kHeaderSize = 14,
    kWidth = 18,
    kHeight = 22,
    kPlanes = 26,
    kBitCount = 28,
    kCompression = 30,
    kClrUsed = 46
};

TEST_F(HostileBatch, BmpHeadersWithAbsurdFields) {
    const struct {
        const char* Name;
        int Offset;
        std::uint32_t Value;
        int Size;
        bool Converts;
    } cases[] = {
        {"width0.bmp", kWidth, 0, 4, false},
        {"widthneg.bmp", kWidth, static_cast<std::uint32_t>(-4), 4, false},
        {"widthmax.bmp", kWidth, INT32_MAX, 4, false},
        {"height0.bmp", kHeight, 0, 4, false},
        {"heightmin.bmp", kHeight, static_cast<std::uint32_t>(INT32_MIN), 4, false},
        {"heighthuge.bmp", kHeight, 60000, 4, false},
        {"topdown.bmp", kHeight, static_cast<std::uint32_t>(-4), 4, true},
        {"bits0.bmp", kBitCount, 0, 2, false},
        {"bits7.bmp", kBitCount, 7, 2, false},
        {"bits64.bmp", kBitCount, 64, 2, false},
        {"bitsmax.bmp", kBitCount, 0xFFFF, 2, false},
        {"planes0.bmp", kPlanes, 0, 2, false},
        {"palettehuge.bmp", kClrUsed, 0xFFFFFFFF, 4, false},
        {"palette257.bmp", kClrUsed, 257, 4, false},
        {"palettefew.bmp", kClrUsed, 2, 4, true},  // fewer colours, offset still right
        {"offset0.bmp", kOffBits, 0, 4, false},
        {"offsetend.bmp", kOffBits, 14 + 40 + 1024 + 16, 4, false},
        {"offsetmax.bmp", kOffBits, 0xFFFFFFFF, 4, false},
        {"offsetinheader.bmp", kOffBits, 20, 4, false},
        {"header0.bmp", kHeaderSize, 0, 4, false},
        {"header39.bmp", kHeaderSize, 39, 4, false},
        {"headerhuge.bmp", kHeaderSize, 0x7FFFFFFF, 4, false},
        {"compression99.bmp", kCompression, 99, 4, false},
        {"rle4on8bits.bmp", kCompression, 2, 4, false},
        {"rle8cut.bmp", kCompression, 1, 4, false},  // 16 bytes of pixels are no RLE stream
    };
    const Bytes good = PaletteBmp();
    for (const auto& c : cases) {
        Bytes bytes = good;
        for (int i = 0; i < c.Size; ++i)
            bytes[c.Offset + i] = static_cast<char>(c.Value >> (8 * i));
        WriteAll(folder / c.Name, bytes);
    }
    WriteAll(folder / "good.bmp", good);

    Run("8", "8");

    EXPECT_EQ(Final(), "调整成功:" + std::to_string(std::size(cases) + 1) + "张图片！");
    EXPECT_TRUE(std::filesystem::exists(folder / "处理后good.jpg"));
    for (const auto& c : cases) {
        const std::string output = kPrefix + Bytes(c.Name, std::strlen(c.Name) - 4) + ".jpg";
        EXPECT_EQ(std::filesystem::exists(folder / output), c.Converts) << c.Name;
        EXPECT_EQ(ReportedOnce(c.Name), !c.Converts) << c.Name;
    }
}

// The peak memory of the process so far, in KiB.
long PeakKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST_F(HostileBatch, PicturesClaimingSixtyThousandSquareAreRefusedWithBoundedMemory) {
    // A real 16 x 16 JPEG whose frame header is made to say 60000 x 60000.
    Picture("small.jpg", "", "16x16");
    Bytes jpeg = ReadAll(folder / "small.jpg");
    const std::size_t frame = jpeg.find("\xFF\xC0");
    ASSERT_NE(frame, Bytes::npos);
    for (const std::size_t at : {frame + 5, frame + 7}) {  // height, then width, big-endian
        jpeg[at] = static_cast<char>(60000 >> 8);
        jpeg[at + 1] = static_cast<char>(60000 & 0xFF);
    }
    WriteAll(folder / "bomb.jpg", jpeg);
    std::filesystem::remove(folder / "small.jpg");
    // A BMP that says the same with a few bytes of run-length data.
    Bytes bmp = PaletteBmp();
    for (const int at : {kWidth, kHeight}) {
        for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<char>(60000 >> (8 * i));
    }
    WriteAll(folder / "plain.bmp", bmp);  // uncompressed: the pixel data is missing
    bmp[kCompression] = 1;
    bmp.replace(14 + 40 + 1024, 16, Bytes("\x02\x05\x00\x01", 4));
    WriteAll(folder / "bomb.bmp", bmp);

    const long before = PeakKib();
    Run("50", "50");
    EXPECT_EQ(Final(), "调整成功:3张图片！");
    for (const char* name : {"bomb.jpg", "bomb.bmp", "plain.bmp"}) {
        EXPECT_TRUE(ReportedOnce(name)) << name;
    }
    // 60000 x 60000 would take 10 GB; refusing must not even come near a tenth of that.
    EXPECT_LT(PeakKib() - before, 256 * 1024) << "KiB more at the peak";
}

// Inputs that once broke the loader or the run, kept in tests/data/malformed: each is either
// converted whole or reported once by name, and none takes much memory.
TEST_F(HostileBatch, CommittedMalformedInputs) {
    const std::string data = std::string(QUILLANE_TEST_DATA) + "/malformed";
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(data)) {
        names.push_back(entry.path().filename().string());
        std::filesystem::copy_file(entry.path(), folder / names.back());
    }
    ASSERT_FALSE(names.empty());
    const long before = PeakKib();
    Run("40", "31");
    EXPECT_LT(PeakKib() - before, 256 * 1024) << "KiB more at the peak";
    EXPECT_EQ(Final(), "调整成功:" + std::to_string(names.size()) + "张图片！");
    for (const auto& name : names) {
        const std::string output = kPrefix + name.substr(0, name.size() - 4) + ".jpg";
        EXPECT_NE(ReportedOnce(name), std::filesystem::exists(folder / output)) << name;
    }
    // A kilobyte of run-length codes that claims 16777240 x 9 pixels is no picture.
    EXPECT_TRUE(ReportedOnce("rle8-16777240x9-in-1206-bytes.bmp"));
    // A damaged GIF whose screen is 44312 x 16 and whose frame is 24 x 16 was once written out
    // as a blank picture, reported as converted.
    EXPECT_TRUE(ReportedOnce("gif-screen-44312x16-frame-24x16.jpg"));
}

TEST_F(HostileBatch, FifosSocketsAndLinkLoopsAreNeverOpened) {
    folder.Fifo("x.jpg");
    folder.Socket("y.jpg");
    folder.Link("loop.jpg", "loop.jpg");
    folder.Link("ping.bmp", "pong.bmp");
    folder.Link("pong.bmp", "ping.bmp");
    folder.Link("nowhere.jpg", "missing.jpg");
    Picture("real.jpg");
    folder.Link("alias.jpg", "real.jpg");

    Run("20", "10");  // a FIFO that were opened would wait here forever

    EXPECT_EQ(Final(), "调整成功:2张图片！");
    EXPECT_TRUE(FileMessages().empty());
    EXPECT_TRUE(std::filesystem::is_regular_file(folder / "处理后alias.jpg"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "alias.jpg"));
    EXPECT_EQ(form.FileList(), (std::vector<std::string>{"alias.jpg", "real.jpg"}));
}

TEST_F(HostileBatch, FilesThatChangeBetweenTheListingAndTheirTurn) {
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"}) Picture(name);
    // After the first picture, the others are taken away or turned into things that are not
    // readable pictures; the last stays good.
    form.OnPictureDone = [this](std::int32_t done, std::int32_t) {
        if (done != 1) return;
        std::filesystem::remove(folder / "b.jpg");
        std::filesystem::remove(folder / "c.jpg");
        folder.Fifo("c.jpg");
        std::filesystem::remove(folder / "d.jpg");
        folder.Folder("d.jpg");
    };
    const FolderAudit audit(folder.Path());
    form.DirS.SetPath(folder.Path());
    form.txtW.SetText("30");
    form.txtH.SetText("30");
    form.CMD_OK.Click();

    EXPECT_EQ(Final(), "调整成功:5张图片！");
    ASSERT_EQ(FileMessages().size(), 3u);
    EXPECT_NE(FileMessages()[0].find("File not found"), std::string::npos) << FileMessages()[0];
    for (const char* name : {"b.jpg", "c.jpg", "d.jpg"}) {
        EXPECT_TRUE(ReportedOnce(name)) << name;
        EXPECT_FALSE(std::filesystem::exists(folder / (kPrefix + name))) << name;
    }
    EXPECT_TRUE(std::filesystem::exists(folder / "处理后a.jpg"));
    EXPECT_TRUE(std::filesystem::exists(folder / "处理后e.jpg"));
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        EXPECT_NE(entry.path().filename().string()[0], '.');
    }
}

TEST_F(HostileBatch, UnreadableFileIsReportedWhereRightsApply) {
    if (geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root from reading";
    Picture("a.jpg");
    Picture("b.jpg");
    ASSERT_EQ(chmod((folder / "a.jpg").c_str(), 0), 0);
    Run("30", "30");
    chmod((folder / "a.jpg").c_str(), 0600);
    EXPECT_TRUE(ReportedOnce("a.jpg"));
    EXPECT_EQ(Final(), "调整成功:2张图片！");
    EXPECT_TRUE(std::filesystem::exists(folder / "处理后b.jpg"));
}

TEST_F(HostileBatch, OddNamesKeepTheirBytes) {
    const std::vector<std::string> names = {"with spaces .jpg",      "new\nline.jpg",
                                            "照片 一.JPG",           "\xC3\x28 not utf-8 \xFF.bmp",
                                            "-starts-with-dash.jpg", "quote'and\"double.jpg",
                                            "tab\there.jpg",         "*?[glob].jpg"};
    for (const auto& name : names) {
        Picture("plain.jpg");
        std::filesystem::rename(folder / "plain.jpg", folder / name);
    }
    Run("17", "13");
    EXPECT_TRUE(FileMessages().empty()) << FileMessages().front();
    EXPECT_EQ(Final(), "调整成功:" + std::to_string(names.size()) + "张图片！");
    for (const auto& name : names) {
        const bool bitmap = name.size() >= 4 && name.substr(name.size() - 4) == ".bmp";
        const std::string output =
            kPrefix + (bitmap ? name.substr(0, name.size() - 4) + ".jpg" : name);
        EXPECT_TRUE(std::filesystem::exists(folder / output)) << output;
    }
}

TEST_F(HostileBatch, NameTooLongForItsOutputFailsThatFileAlone) {
    // 250 bytes is a legal name; with the 9-byte prefix the output's is not.
    const std::string longName = std::string(246, 'n') + ".jpg";
    Picture("a.jpg");
    std::filesystem::rename(folder / "a.jpg", folder / longName);
    Picture("b.jpg");
    Run("20", "20");
    EXPECT_EQ(FileMessages(), std::vector<std::string>{"Failed to save to JPG"});
    EXPECT_EQ(Final(), "调整成功:2张图片！");
    EXPECT_TRUE(std::filesystem::exists(folder / "处理后b.jpg"));
}

TEST_F(HostileBatch, LargestTypedSizes) {
    Picture("a.bmp", "bmp3:", "3x2");
    const struct {
        const char* Width;
        const char* Height;
        bool Written;
    } cases[] = {
        {"32767", "32767", false},  // 3 GB of canvas: refused, not attempted
        {"32767", "1", true},
        {"1", "32767", true},
        {"32768", "1", false},
    };
    for (const auto& c : cases) {
        recorder.Messages.clear();
        std::filesystem::remove(folder / "处理后a.jpg");
        Run(c.Width, c.Height);
        SCOPED_TRACE(std::string(c.Width) + " x " + c.Height);
        ASSERT_FALSE(recorder.Messages.empty());
        EXPECT_EQ(std::filesystem::exists(folder / "处理后a.jpg"), c.Written);
        if (c.Written) {
            EXPECT_EQ(Final(), "调整成功:1张图片！");
        } else {
            EXPECT_TRUE(Final() == "Error" || FileMessages().size() == 1) << Final();
        }
    }
}

TEST_F(HostileBatch, AHundredAndFiftyPicturesPassTheBarsMaximum) {
    Picture("p000.bmp", "bmp3:", "6x4");
    for (int i = 1; i < 150; ++i) {
        const std::string number = std::to_string(1000 + i).substr(1);
        std::filesystem::copy_file(folder / "p000.bmp", folder / ("p" + number + ".bmp"));
    }
    std::vector<std::int32_t> done;
    form.OnPictureDone = [&done](std::int32_t gone, std::int32_t total) {
        EXPECT_EQ(total, 150);
        done.push_back(gone);
    };
    std::vector<float> bar;
    const int token = form.tBar.Subscribe([&] { bar.push_back(form.tBar.Value()); });
    Run("6", "4");
    form.tBar.Unsubscribe(token);

    EXPECT_EQ(recorder.Messages.size(), 1u);
    EXPECT_EQ(Final(), "调整成功:150张图片！");
    ASSERT_EQ(done.size(), 150u);
    EXPECT_EQ(done.back(), 150);
    EXPECT_EQ(std::count_if(bar.begin(), bar.end(), [](float v) { return v > 100; }), 0)
        << "the bar shows at most its maximum";
    EXPECT_EQ(bar.back(), 0);
    int outputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        outputs += entry.path().filename().string().rfind(kPrefix, 0) == 0;
    }
    EXPECT_EQ(outputs, 150);
}

}  // namespace
}  // namespace quillane
