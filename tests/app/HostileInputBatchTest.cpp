// Whatever lies in the folder, the start button's run never crashes or hangs, reports each bad
// file by name and goes on, writes only whole JPEGs, leaves no temporary file and changes no
// file it did not write. Every case runs through the window's run on a real folder; the
// loaders' own tests go through each kind of damage in detail.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
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
    // Each file met its fate: refused ones are named by exactly one message and have no
    // output (a bitmap's is named .jpg); then one message for each failed save and the count.
    void ExpectOutcome(const std::map<std::string, Fate>& fates) const {
        const auto prompts = Prompts();
        std::size_t unsaved = 0, reported = 0;
        for (const auto& [name, fate] : fates) {
            unsaved += fate == kUnsaved, reported += fate == kReported;
            const bool bitmap = name.ends_with(".bmp");
            std::error_code tooLong;
            const std::string output =
                kPrefix + (bitmap ? name.substr(0, name.size() - 4) + ".jpg" : name);
            EXPECT_EQ(std::filesystem::exists(folder / output, tooLong), fate == kConverted)
                << name;
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

long PeakKib() {  // of the process so far
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// One run over garbage, pictures in disguise, truncations, a picture that claims 60000 x 60000
// pixels, inputs that once broke the loader, entries that are no files and
// odd names: each bad file is reported once by name, each good one converted.
TEST_F(HostileBatch, BadFilesAreReportedOnceByNameAndGoodOnesConverted) {
    std::map<std::string, Fate> fates;
    for (const auto& [name, content] : {std::pair<const char*, Bytes>{"text.jpg", "a list\n"},
                                        {"jpegstart.jpg", "\xFF\xD8\xFF\xE0garbage after it"},
                                        {"bmpstart.bmp", "BM" + Bytes(60, '\x7F')}})
        folder.File(name, content), fates[name] = kReported;
    for (const auto& [name, format] :
         {std::pair{"png.jpg", "png:"}, {"gif.bmp", "gif:"}, {"bmp.jpg", "bmp3:"}}) {
        Picture(folder / name, std::string("-size 40x30 gradient:red-blue ") + format);
        fates[name] = kConverted;  // content decides, not the name
    }

    // Noise pictures of each kind, cut from 0 bytes to 47/48 of their length.
    const std::string noise = Quote(work / "noise.ppm");
    testing::WriteNoisePpm(work / "noise.ppm", 48, 40);
    for (const auto& [source, command] :
         {std::pair<const char*, std::string>{"p.jpg", "cjpeg -progressive " + noise + " >"},
          {"r.bmp", "convert " + noise + " -colors 16 -compress RLE bmp3:"}}) {
        ASSERT_TRUE(Shell(command + Quote(work / source))) << source;
        const Bytes whole = work.Read(source);
        for (int step = 0; step < 48; ++step) {
            const std::string name = "cut" + std::to_string(step) + "_" + source;
            folder.File(name, whole.substr(0, whole.size() * step / 48));
            fates[name] = kReported;
        }
    }

    // A real 16 x 16 JPEG whose frame header says 60000 x 60000 (height, width, big-endian).
    Picture(work / "small.jpg", "-size 16x16 xc:red");
    Bytes jpeg = work.Read("small.jpg");
    const std::size_t frame = jpeg.find("\xFF\xC0");
    ASSERT_NE(frame, Bytes::npos);
    for (const std::size_t at : {frame + 5, frame + 7}) jpeg[at] = '\xEA', jpeg[at + 1] = '\x60';
    folder.File("bomb.jpg", jpeg);
    fates["bomb.jpg"] = kReported;
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
    folder.Link("alias.jpg", "png.jpg");
    fates["alias.jpg"] = kConverted;
    // Odd names keep their bytes; a name of 250 bytes is legal, but not with the 9-byte
    // prefix, so that file alone cannot be saved.
    for (const std::string name : {"new\nline.jpg", "照片 一.JPG", "\xC3\x28 not utf-8 \xFF.bmp",
                                   "-dash.jpg", "q'and\"d.jpg", "*?[glob].jpg"})
        folder.File(name, folder.Read("png.jpg")), fates[name] = kConverted;
    const std::string longName = std::string(246, 'n') + ".jpg";
    folder.File(longName, folder.Read("png.jpg"));
    fates[longName] = kUnsaved;

    const long before = PeakKib();
    Run(folder.Path(), "8", "8");
    // 60000 x 60000 would take 10 GB; refusing must not even come near a tenth of that.
    EXPECT_LT(PeakKib() - before, 256 * 1024) << "KiB more at the peak";
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
        for (const char* name : {"b.jpg", "c.jpg", "d.jpg"}) std::filesystem::remove(folder / name);
        folder.Fifo("c.jpg");
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

}  // namespace
}  // namespace quillane
