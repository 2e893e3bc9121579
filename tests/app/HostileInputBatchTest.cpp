// Whatever lies in the folder, the start button's run never crashes or hangs, reports each bad
// file by name and goes on, writes only whole JPEGs, leaves no temporary file and changes no
// file it did not write. Every case runs through the window's run on a real folder.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>

#include "HostileBatchSupport.h"

namespace quillane {
namespace {

using testing::Bytes;
using testing::kPrefix;
using testing::Quote;
using testing::Shell;

class HostileBatch : public testing::HostileBatchTest {
  protected:
    void Run(const std::string& width, const std::string& height) {
        HostileBatchTest::Run(folder.Path(), width, height);
    }

    // A good picture made by ImageMagick, content decided by the format given to convert.
    void Picture(const std::string& name, const std::string& format = "",
                 const std::string& size = "40x30") {
        ASSERT_TRUE(
            Shell("convert -size " + size + " gradient:red-blue " + format + Quote(folder / name)))
            << name;
    }

    // True when exactly one message names the file.
    bool ReportedOnce(const std::string& name) const {
        const auto prompts = Prompts();
        return std::count_if(prompts.begin(), prompts.end(), [&](const std::string& text) {
                   return text.find("'" + name + "'") != std::string::npos;
               }) == 1;
    }
    // True when the output of the file is there (a bitmap's output is named .jpg).
    bool Written(const std::string& name) const {
        const bool bitmap = name.size() >= 4 && name.substr(name.size() - 4) == ".bmp";
        std::error_code tooLong;
        return std::filesystem::exists(
            folder / (kPrefix + (bitmap ? name.substr(0, name.size() - 4) + ".jpg" : name)),
            tooLong);
    }
    std::string Converted(std::size_t count) const {
        return "调整成功:" + std::to_string(count) + "张图片！";
    }
    // Each file converted as the table says, or else reported once by name with no output; one
    // message for each refused file, then the count of files tried.
    void ExpectOutcome(const std::map<std::string, bool>& converts) const {
        EXPECT_EQ(Final(), Converted(converts.size()));
        std::size_t refused = 0;
        for (const auto& [name, good] : converts) {
            refused += !good;
            EXPECT_EQ(Written(name), good) << name;
            EXPECT_EQ(ReportedOnce(name), !good) << name;
        }
        EXPECT_EQ(Prompts().size(), refused + 1);
    }
};

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
constexpr int kOffBits = 10, kHeaderSize = 14, kWidth = 18, kHeight = 22, kPlanes = 26,
              kBitCount = 28, kCompression = 30, kClrUsed = 46;

// One run over garbage, pictures in disguise, truncations and absurd BMP headers: each bad file
// is reported once by name and has no output, each good one is converted, whatever its name.
TEST_F(HostileBatch, BadFilesAreReportedOnceByNameAndGoodOnesConverted) {
    std::map<std::string, bool> converts;
    const std::pair<const char*, Bytes> garbage[] = {
        {"text.jpg", "This is a shopping list, not a picture.\n"},
        {"zeros.jpg", Bytes(4096, '\0')},
        {"jpegstart.jpg", "\xFF\xD8\xFF\xE0garbage after the start marker"},
        {"bmpstart.bmp", "BM" + Bytes(60, '\x7F')},
        {"onlymarker.jpg", "\xFF\xD8"},
    };
    for (const auto& [name, content] : garbage) folder.File(name, content), converts[name] = false;
    for (const auto& [name, format] :
         {std::pair{"png.jpg", "png:"}, {"gif.bmp", "gif:"}, {"bmp.jpg", "bmp3:"}}) {
        Picture(name, format);  // content decides, not the name
        converts[name] = true;
    }

    // Noise pictures of each kind, cut from 0 bytes to 23/24 of their length.
    const std::string noise = Quote(work / "noise.ppm");
    testing::WriteNoisePpm(work / "noise.ppm", 48, 40);
    const std::pair<const char*, std::string> sources[] = {
        {"b.jpg", "cjpeg " + noise + " >"},
        {"p.jpg", "cjpeg -progressive " + noise + " >"},
        {"n.bmp", "convert " + noise + " bmp3:"},
        {"r.bmp", "convert " + noise + " -colors 16 -compress RLE bmp3:"},
    };
    constexpr int kCuts = 24;
    for (const auto& [source, command] : sources) {
        ASSERT_TRUE(Shell(command + Quote(work / source))) << source;
        const Bytes whole = work.Read(source);
        ASSERT_GT(whole.size(), 500u) << source;
        for (int step = 0; step < kCuts; ++step) {
            const std::string name = "cut" + std::to_string(step) + "_" + source;
            folder.File(name, whole.substr(0, whole.size() * step / kCuts));
            converts[name] = false;
        }
    }

    const struct {
        const char* Name;
        int Offset;
        std::uint32_t Value;
        int Size;
        bool Converts;
    } bmps[] = {
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
        {"good.bmp", kOffBits, 14 + 40 + 1024, 4, true},
    };
    for (const auto& c : bmps) {
        Bytes bytes = PaletteBmp();
        for (int i = 0; i < c.Size; ++i)
            bytes[c.Offset + i] = static_cast<char>(c.Value >> (8 * i));
        folder.File(c.Name, bytes);
        converts[c.Name] = c.Converts;
    }

    Run("8", "8");
    ExpectOutcome(converts);
}

// The peak memory of the process so far, in KiB.
long PeakKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Pictures that claim 60000 x 60000 pixels, and inputs that once broke the loader or the run
// (kept in tests/data/malformed, none of them a picture): each is reported once by name, and
// none takes much memory.
TEST_F(HostileBatch, HugeClaimsAndMalformedInputsAreRefusedWithBoundedMemory) {
    // A real 16 x 16 JPEG whose frame header is made to say 60000 x 60000.
    Picture("small.jpg", "", "16x16");
    Bytes jpeg = folder.Read("small.jpg");
    const std::size_t frame = jpeg.find("\xFF\xC0");
    ASSERT_NE(frame, Bytes::npos);
    for (const std::size_t at : {frame + 5, frame + 7}) {  // height, then width, big-endian
        jpeg[at] = static_cast<char>(60000 >> 8);
        jpeg[at + 1] = static_cast<char>(60000 & 0xFF);
    }
    folder.File("bomb.jpg", jpeg);
    std::filesystem::remove(folder / "small.jpg");
    // A BMP that says the same with a few bytes of run-length data.
    Bytes bmp = PaletteBmp();
    for (const int at : {kWidth, kHeight}) {
        for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<char>(60000 >> (8 * i));
    }
    folder.File("plain.bmp", bmp);  // uncompressed: the pixel data is missing
    bmp[kCompression] = 1;
    bmp.replace(14 + 40 + 1024, 16, Bytes("\x02\x05\x00\x01", 4));
    folder.File("bomb.bmp", bmp);
    // The committed ones: a kilobyte of run-length codes that claims 16777240 x 9 pixels, and a
    // damaged GIF (screen 44312 x 16, frame 24 x 16) once written out as a blank picture.
    std::map<std::string, bool> converts = {
        {"bomb.jpg", false}, {"bomb.bmp", false}, {"plain.bmp", false}};
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(QUILLANE_TEST_DATA) + "/malformed")) {
        std::filesystem::copy_file(entry.path(), folder / entry.path().filename());
        converts[entry.path().filename().string()] = false;
    }
    ASSERT_EQ(converts.size(), 5u);

    const long before = PeakKib();
    Run("40", "31");
    // 60000 x 60000 would take 10 GB; refusing must not even come near a tenth of that.
    EXPECT_LT(PeakKib() - before, 256 * 1024) << "KiB more at the peak";

    ExpectOutcome(converts);
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

    ExpectOutcome({{"alias.jpg", true}, {"real.jpg", true}});
    EXPECT_TRUE(std::filesystem::is_regular_file(folder / "处理后alias.jpg"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "alias.jpg"));
    EXPECT_EQ(form.FileList(), (std::vector<std::string>{"alias.jpg", "real.jpg"}));
}

TEST_F(HostileBatch, FilesThatChangeBetweenTheListingAndTheirTurn) {
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"}) Picture(name);
    // After the first picture, the others are taken away or turned into things that are not
    // readable pictures; the last stays good. No audit: the inputs go on purpose.
    Click(folder.Path(), "30", "30", [this] {
        std::filesystem::remove(folder / "b.jpg");
        std::filesystem::remove(folder / "c.jpg");
        folder.Fifo("c.jpg");
        std::filesystem::remove(folder / "d.jpg");
        folder.Folder("d.jpg");
    });

    ExpectOutcome(
        {{"a.jpg", true}, {"b.jpg", false}, {"c.jpg", false}, {"d.jpg", false}, {"e.jpg", true}});
    ASSERT_FALSE(recorder.Messages.empty());
    EXPECT_NE(Prompts()[0].find("File not found"), std::string::npos) << Prompts()[0];
    for (const auto& name : folder.Entries()) EXPECT_NE(name[0], '.') << name;
}

TEST_F(HostileBatch, UnreadableFileIsReportedWhereRightsApply) {
    if (geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root from reading";
    Picture("a.jpg");
    Picture("b.jpg");
    ASSERT_EQ(chmod((folder / "a.jpg").c_str(), 0), 0);
    Run("30", "30");
    chmod((folder / "a.jpg").c_str(), 0600);
    ExpectOutcome({{"a.jpg", false}, {"b.jpg", true}});
}

// Odd names keep their bytes; a name of 250 bytes is legal, but not with the 9-byte prefix, so
// that file alone fails.
TEST_F(HostileBatch, OddAndOverlongNames) {
    const std::string longName = std::string(246, 'n') + ".jpg";
    const std::string names[] = {"with spaces .jpg",
                                 "new\nline.jpg",
                                 "照片 一.JPG",
                                 "\xC3\x28 not utf-8 \xFF.bmp",
                                 "-starts-with-dash.jpg",
                                 "tab\there.jpg",
                                 "quote'and\"double.jpg",
                                 "*?[glob].jpg",
                                 longName};
    Picture("plain.jpg");
    for (const auto& name : names) std::filesystem::copy_file(folder / "plain.jpg", folder / name);
    std::filesystem::remove(folder / "plain.jpg");

    Run("17", "13");

    EXPECT_EQ(Prompts(),
              (std::vector<std::string>{"Failed to save to JPG", Converted(std::size(names))}));
    for (const auto& name : names) EXPECT_EQ(Written(name), name != longName) << name;
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
        SCOPED_TRACE(std::string(c.Width) + " x " + c.Height);
        recorder.Messages.clear();
        std::filesystem::remove(folder / "处理后a.jpg");
        Run(c.Width, c.Height);
        ASSERT_FALSE(recorder.Messages.empty());
        EXPECT_EQ(Written("a.bmp"), c.Written);
        if (c.Written) {
            EXPECT_EQ(Final(), Converted(1));
        } else {
            EXPECT_TRUE(Final() == "Error" || Prompts().size() == 2) << Final();
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

    EXPECT_EQ(Prompts(), std::vector<std::string>{Converted(150)});
    ASSERT_EQ(done.size(), 150u);
    EXPECT_EQ(done.back(), 150);
    EXPECT_EQ(std::count_if(bar.begin(), bar.end(), [](float v) { return v > 100; }), 0)
        << "the bar shows at most its maximum";
    EXPECT_EQ(bar.back(), 0);
    EXPECT_EQ(folder.Entries().size(), 300u) << "an output for each picture, and nothing else";
}

}  // namespace
}  // namespace quillane
