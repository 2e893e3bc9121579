// Whatever lies in the folder, the start button's run never crashes or hangs, reports each bad
// file by name and goes on, writes only whole JPEGs, leaves no temporary file and changes no
// file it did not write. Every case runs through the window's run on a real folder.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <map>

#include "BatchFixture.h"

namespace quillane {
namespace {

using testing::Bytes;
using testing::kPrefix;
using testing::Quote;
using testing::Shell;

// What the run must make of a file: an output, a message naming it, or a failed save.
enum Fate { kConverted, kReported, kUnsaved };

class HostileBatch : public testing::BatchTest {
  protected:
    // True when the output of the file is there (a bitmap's output is named .jpg).
    bool Written(const std::string& name) const {
        const bool bitmap = name.size() >= 4 && name.substr(name.size() - 4) == ".bmp";
        std::error_code tooLong;
        return std::filesystem::exists(
            folder / (kPrefix + (bitmap ? name.substr(0, name.size() - 4) + ".jpg" : name)),
            tooLong);
    }
    // Each file met its fate: refused ones are named by exactly one message and have no
    // output; then one message for each failed save and the count of files tried.
    void ExpectOutcome(const std::map<std::string, Fate>& fates) const {
        const auto prompts = Prompts();
        std::size_t unsaved = 0, reported = 0;
        for (const auto& [name, fate] : fates) {
            unsaved += fate == kUnsaved, reported += fate == kReported;
            EXPECT_EQ(Written(name), fate == kConverted) << name;
            EXPECT_EQ(std::count_if(prompts.begin(), prompts.end(),
                                    [&](const std::string& text) {
                                        return text.find("'" + name + "'") != std::string::npos;
                                    }),
                      fate == kReported)
                << name;
        }
        EXPECT_EQ(std::count(prompts.begin(), prompts.end(), "Failed to save to JPG"), unsaved);
        EXPECT_EQ(prompts.size(), reported + unsaved + 1);
        EXPECT_EQ(prompts.back(), "调整成功:" + std::to_string(fates.size()) + "张图片！");
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

long PeakKib() {  // of the process so far
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// One run over garbage, pictures in disguise, truncations, absurd BMP headers, pictures that
// claim 60000 x 60000 pixels, inputs that once broke the loader, entries that are no files and
// odd names: each bad file is reported once by name, each good one converted.
TEST_F(HostileBatch, BadFilesAreReportedOnceByNameAndGoodOnesConverted) {
    std::map<std::string, Fate> fates;
    const std::pair<const char*, Bytes> garbage[] = {
        {"text.jpg", "This is a shopping list, not a picture.\n"},
        {"zeros.jpg", Bytes(4096, '\0')},
        {"jpegstart.jpg", "\xFF\xD8\xFF\xE0garbage after the start marker"},
        {"bmpstart.bmp", "BM" + Bytes(60, '\x7F')},
        {"onlymarker.jpg", "\xFF\xD8"},
    };
    for (const auto& [name, content] : garbage) folder.File(name, content), fates[name] = kReported;
    for (const auto& [name, format] :
         {std::pair{"png.jpg", "png:"}, {"gif.bmp", "gif:"}, {"bmp.jpg", "bmp3:"}}) {
        Picture(folder / name, std::string("-size 40x30 gradient:red-blue ") + format);
        fates[name] = kConverted;  // content decides, not the name
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
    for (const auto& [source, command] : sources) {
        ASSERT_TRUE(Shell(command + Quote(work / source))) << source;
        const Bytes whole = work.Read(source);
        ASSERT_GT(whole.size(), 500u) << source;
        for (int step = 0; step < 24; ++step) {
            const std::string name = "cut" + std::to_string(step) + "_" + source;
            folder.File(name, whole.substr(0, whole.size() * step / 24));
            fates[name] = kReported;
        }
    }

    // A palette BMP with one header field set, converted or not; named by field and value.
    const struct {
        int Offset;
        std::uint32_t Value;
        bool Converts;
    } bmps[] = {
        {kWidth, 0, false},
        {kWidth, std::uint32_t(-4), false},
        {kWidth, INT32_MAX, false},
        {kHeight, 0, false},
        {kHeight, std::uint32_t(INT32_MIN), false},
        {kHeight, 60000, false},
        {kHeight, std::uint32_t(-4), true},  // top-down
        {kBitCount, 0, false},
        {kBitCount, 7, false},
        {kBitCount, 64, false},
        {kBitCount, 0xFFFF, false},
        {kPlanes, 0, false},
        {kClrUsed, 0xFFFFFFFF, false},
        {kClrUsed, 257, false},
        {kClrUsed, 2, true},  // fewer colours, offset still right
        {kOffBits, 0, false},
        {kOffBits, 14 + 40 + 1024 + 16, false},
        {kOffBits, 0xFFFFFFFF, false},
        {kOffBits, 20, false},
        {kHeaderSize, 0, false},
        {kHeaderSize, 39, false},
        {kHeaderSize, 0x7FFFFFFF, false},
        {kCompression, 99, false},
        {kCompression, 2, false},  // RLE4 on 8 bits
        {kCompression, 1, false},  // 16 bytes of pixels are no RLE8 stream
        {kOffBits, 14 + 40 + 1024, true},
    };
    for (const auto& c : bmps) {
        Bytes bytes = PaletteBmp();
        for (int i = 0; i < (c.Offset == kPlanes || c.Offset == kBitCount ? 2 : 4); ++i)
            bytes[c.Offset + i] = static_cast<char>(c.Value >> (8 * i));
        const std::string name =
            "h" + std::to_string(c.Offset) + "_" + std::to_string(c.Value) + ".bmp";
        folder.File(name, bytes);
        fates[name] = c.Converts ? kConverted : kReported;
    }

    // A real 16 x 16 JPEG whose frame header says 60000 x 60000 (height, width, big-endian),
    // and BMPs that say the same, uncompressed without the pixels and with a few bytes of RLE.
    Picture(work / "small.jpg", "-size 16x16 xc:red");
    Bytes jpeg = work.Read("small.jpg");
    const std::size_t frame = jpeg.find("\xFF\xC0");
    ASSERT_NE(frame, Bytes::npos);
    for (const std::size_t at : {frame + 5, frame + 7}) jpeg[at] = '\xEA', jpeg[at + 1] = '\x60';
    folder.File("bomb.jpg", jpeg);
    Bytes bmp = PaletteBmp();
    for (const int at : {kWidth, kHeight}) bmp[at] = '\x60', bmp[at + 1] = '\xEA';
    folder.File("plain.bmp", bmp);
    bmp[kCompression] = 1;
    bmp.replace(14 + 40 + 1024, 16, Bytes("\x02\x05\x00\x01", 4));
    folder.File("bomb.bmp", bmp);
    fates["bomb.jpg"] = fates["plain.bmp"] = fates["bomb.bmp"] = kReported;
    // The committed ones: a kilobyte of run-length codes that claims 16777240 x 9 pixels, and a
    // damaged GIF (screen 44312 x 16, frame 24 x 16) once written out as a blank picture.
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(QUILLANE_TEST_DATA) + "/malformed")) {
        std::filesystem::copy_file(entry.path(), folder / entry.path().filename());
        fates[entry.path().filename().string()] = kReported;
    }

    // Entries that are no files are never opened (a FIFO that were would wait forever) nor
    // listed; a link to a picture is one.
    folder.Fifo("x.jpg");
    folder.Socket("y.jpg");
    folder.Link("loop.jpg", "loop.jpg");
    folder.Link("ping.bmp", "pong.bmp");
    folder.Link("pong.bmp", "ping.bmp");
    folder.Link("nowhere.jpg", "missing.jpg");
    folder.Link("alias.jpg", "png.jpg");
    fates["alias.jpg"] = kConverted;
    if (geteuid() != 0) {  // permission bits do not stop root from reading
        folder.File("locked.jpg", folder.Read("png.jpg"));
        ASSERT_EQ(chmod((folder / "locked.jpg").c_str(), 0), 0);
        fates["locked.jpg"] = kReported;
    }
    // Odd names keep their bytes; a name of 250 bytes is legal, but not with the 9-byte
    // prefix, so that file alone cannot be saved.
    const std::string names[] = {
        "with spaces .jpg", "new\nline.jpg", "照片 一.JPG",  "\xC3\x28 not utf-8 \xFF.bmp",
        "-dash.jpg",        "tab\there.jpg", "q'and\"d.jpg", "*?[glob].jpg"};
    for (const auto& name : names)
        folder.File(name, folder.Read("png.jpg")), fates[name] = kConverted;
    const std::string longName = std::string(246, 'n') + ".jpg";
    folder.File(longName, folder.Read("png.jpg"));
    fates[longName] = kUnsaved;

    const long before = PeakKib();
    Run(folder.Path(), "8", "8");
    // 60000 x 60000 would take 10 GB; refusing must not even come near a tenth of that.
    EXPECT_LT(PeakKib() - before, 256 * 1024) << "KiB more at the peak";
    if (geteuid() != 0) chmod((folder / "locked.jpg").c_str(), 0600);
    ExpectOutcome(fates);
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "alias.jpg"));

    // More pictures than the bar's maximum: it follows them up to 100 and stays there.
    std::vector<float> progress;
    std::vector<std::pair<int, int>> done;
    const int total = static_cast<int>(fates.size());
    for (int i = 1; i <= total; ++i) done.emplace_back(i, total);
    for (int i = 1; i <= 100; ++i) progress.push_back(float(i));
    progress.push_back(0);
    EXPECT_EQ(Progress, progress);
    EXPECT_EQ(Done, done);
}

TEST_F(HostileBatch, FilesThatChangeBetweenTheListingAndTheirTurn) {
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"})
        Picture(folder / name, "-size 40x30 gradient:red-blue");
    // After the first picture, the others are taken away or turned into things that are not
    // readable pictures; the last stays good. No audit: the inputs go on purpose.
    Click(folder.Path(), "30", "30", [this] {
        std::filesystem::remove(folder / "b.jpg");
        std::filesystem::remove(folder / "c.jpg");
        folder.Fifo("c.jpg");
        std::filesystem::remove(folder / "d.jpg");
        folder.Folder("d.jpg");
    });
    ExpectOutcome({{"a.jpg", kConverted},
                   {"b.jpg", kReported},
                   {"c.jpg", kReported},
                   {"d.jpg", kReported},
                   {"e.jpg", kConverted}});
    EXPECT_NE(Prompts()[0].find("File not found"), std::string::npos) << Prompts()[0];
    for (const auto& name : folder.Entries()) EXPECT_NE(name[0], '.') << name;
}

// Disks that refuse or run out in the middle of a file, armed for the first picture only: a
// read-only folder fails the create like the injected refusal, a full disk the write like the
// injected failure and the file size limit. Each time the writer says so, leaves no partial
// output nor temporary file, a file already under the output's name keeps every byte, and the
// run goes on to convert the next picture.
TEST_F(HostileBatch, FailedRewritesKeepTheExistingFileByteForByte) {
    const struct {
        const char* Name;
        IjlFaults Faults;
        rlim_t FileSizeLimit;  // 0: none
    } cases[] = {
        {"create refused", {.CreateErrno = EACCES}, 0},
        {"nothing written", {.WriteBytesBeforeFailure = 0}, 0},
        {"disk full after 3000 bytes", {.WriteBytesBeforeFailure = 3000}, 0},
        {"rename refused", {.RenameErrno = EIO}, 0},
        {"file size limit", {}, 4096},
    };
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);  // else the process is killed, not told
    const auto disarm = [&saved] {
        IjlSetFaultsForTesting({});
        setrlimit(RLIMIT_FSIZE, &saved);
    };
    testing::WriteNoisePpm(work / "noise.ppm", 40, 40);  // outputs of tens of kilobytes
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string where = folder / c.Name;
        std::filesystem::create_directory(where);
        for (const char* name : {"/a.jpg", "/b.jpg"})
            ASSERT_TRUE(
                Shell("cjpeg -outfile " + Quote(where + name) + " " + Quote(work / "noise.ppm")));
        // An earlier run's output, bigger than any of the limits above.
        Picture(where + "/处理后a.jpg", "-size 200x200 plasma:red-blue");
        const auto precious = test::ReadBytes(where + "/处理后a.jpg");
        ASSERT_GT(precious.size(), 4096u);
        rlimit limit = saved;
        if (c.FileSizeLimit) limit.rlim_cur = c.FileSizeLimit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        IjlSetFaultsForTesting(c.Faults);
        Run(where, "300", "300", disarm);
        disarm();
        // The earlier output is a picture of the folder too, and is converted in its turn.
        EXPECT_EQ(Prompts(true), (std::vector<std::string>{"Quillane|Failed to save to JPG|48",
                                                           "System|调整成功:3张图片！|0"}));
        EXPECT_TRUE(test::ReadBytes(where + "/处理后a.jpg") == precious)
            << "earlier output changed";
        for (const char* name : {"/处理后处理后a.jpg", "/处理后b.jpg"})
            EXPECT_TRUE(std::filesystem::exists(where + name)) << name;
    }
    std::signal(SIGXFSZ, handler);
}

}  // namespace
}  // namespace quillane
