// The start button's run on real folders: fields, conversion, names, messages, the progress
// bar, folders full of bad files. A run that decodes ahead on a helper thread must be
// indistinguishable from one that reads every picture at its turn: same messages, same progress
// values, same bytes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>

#include "app/BatchFixture.h"
#include "platform/ijl/IjlTesting.h"
#include "platform/ijl/WrittenFolders.h"

namespace quillane {
namespace {

using namespace ::testing;  // the matchers

using testing::BatchTest;
using testing::Bytes;
using testing::kPrefix;
using testing::TempFolder;

using Layout = std::vector<std::pair<std::string, std::string>>;

class BatchRun : public BatchTest {
  protected:
    // Each entry is a picture drawn from "-size ...", else a file of the text.
    static void Lay(const TempFolder& into, const Layout& layout) {
        for (const auto& [name, what] : layout) {
            if (what.starts_with("-size"))
                Picture(into / name, what);
            else
                into.File(name, what);
        }
    }
    // Every entry with its bytes.
    static std::map<std::string, std::string> Files(const TempFolder& of) {
        std::map<std::string, std::string> files;
        for (const std::string& name : of.Entries()) files[name] = of.Read(name);
        return files;
    }
};

const std::string kPicture = "-size 64x48 gradient:red-blue";
const std::string kOdd = "\xff\xfe odd.jpg";  // no valid UTF-8: the bytes must survive

const struct {
    const char* Title;
    Layout Before;
    std::vector<Matcher<std::string>> Says;
    std::vector<float> Progress;
    std::set<std::string> After;  // the folder's entries afterwards
    IjlFaults Faults = {};        // in effect during the run
} kScenarios[] = {
    // The bar follows the files, stands at its maximum for the message, then returns to 0. The
    // first picture's output replaces a red picture before that one's own turn comes.
    {"pictures of either kind and any case, among other files",
     {{"photo.JPG", "-size 640x480 plasma:fractal"},
      {"处理后photo.JPG", "-size 50x50 xc:red"},
      {"Scan.BMP", "-size 40x90 xc:red -alpha on"},  // 32 bits in bit fields
      {"small.jpg", "-size 10x10 xc:green"},
      {kOdd, kPicture},
      {"notes.txt", "no picture"}},
     {"System|调整成功:5张图片！|0"},
     {1, 2, 3, 4, 5, 100, 0},
     {"photo.JPG", "Scan.BMP", "small.jpg", kOdd, "notes.txt", "处理后photo.JPG", "处理后Scan.jpg",
      "处理后small.jpg", "处理后" + kOdd, "处理后处理后photo.JPG"}},
    {"a bad picture is reported by name and the run goes on",
     {{"a.jpg", kPicture}, {"b.jpg", "this is not a picture at all"}, {"c.bmp", kPicture}},
     {AllOf(StartsWith("Quillane|"), HasSubstr("b.jpg"), EndsWith("|0")),
      "System|调整成功:3张图片！|0"},
     {1, 2, 3, 100, 0},
     {"a.jpg", "b.jpg", "c.bmp", "处理后a.jpg", "处理后c.jpg"}},
    {"a folder whose new names cannot be flushed is told as a failed write is, once",
     {{"a.jpg", kPicture}, {"b.jpg", kPicture}},
     {AllOf(StartsWith("Quillane|Path/File access error: cannot flush the folder /"),
            EndsWith("/ to the disk (Input/output error)|0")),
      "System|调整成功:2张图片！|0"},
     {1, 2, 100, 0},
     {"a.jpg", "b.jpg", "处理后a.jpg", "处理后b.jpg"},
     {.FolderSyncErrno = EIO}},
};

TEST_F(BatchRun, ScenariosGiveTheirMessagesProgressAndFilesWhetherDecodingAheadOrNot) {
    for (const auto& s : kScenarios) {
        SCOPED_TRACE(s.Title);
        TempFolder original;
        Lay(original, s.Before);
        ASSERT_FALSE(HasFatalFailure());
        std::map<std::string, std::string> oneByOne;
        // Round 0 reads each picture at its turn; timing differs from run to run, the outcome
        // must not.
        for (int round = 0; round < 4; ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            TempFolder copy;
            std::filesystem::copy(original.Path(), copy.Path(),
                                  std::filesystem::copy_options::recursive);
            form.DecodeAheadEnabled = round > 0;
            IjlSetFaultsForTesting(s.Faults);
            Run(copy.Path(), " 176 ", " 220 ");
            IjlSetFaultsForTesting({});
            EXPECT_EQ(FlushWrittenFolders().Flushed, 0u) << "the run left its folder unflushed";
            EXPECT_THAT(Prompts(), ElementsAreArray(s.Says));
            EXPECT_EQ(Progress, s.Progress);
            const auto files = Files(copy);
            EXPECT_EQ(files.size(), s.After.size());
            for (const std::string& name : s.After) EXPECT_EQ(files.count(name), 1u) << name;
            if (round == 0) oneByOne = files;
            EXPECT_TRUE(files == oneByOne) << "decoding ahead changed a file";
        }
    }
}

TEST_F(BatchRun, FieldsAreCheckedBeforeAnythingIsConverted) {
    Picture(folder / "a.bmp", "-size 3x2 xc:red bmp3:");
    const struct {
        const char *Width, *Height;
        std::vector<std::string> Says;
        std::pair<int, int> Output;  // 0 x 0: nothing may be written
    } cases[] = {
        {"abc", "220", {"Warning|must Number|48"}, {}},
        {"176", "", {"Warning|must Number|48"}, {}},
        {"40000", "220", {"System|Error|48"}, {}},
        {"-5", "220", {"System|Error|48"}, {}},
        {"176", "0", {"System|Error|48"}, {}},
        {"32768", "1", {"System|Error|48"}, {}},
        {"32767", "32767", {"System|Error|48"}, {}},  // 3 GB of canvas: refused, not attempted
        {"32767", "1", {"System|调整成功:1张图片！|0"}, {32767, 1}},
        {"1", "32767", {"System|调整成功:1张图片！|0"}, {1, 32767}},
        {"176.5", "177.5", {"System|调整成功:1张图片！|0"}, {176, 178}},  // halves to even
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Width) + " x " + c.Height);
        std::filesystem::remove(folder / "处理后a.jpg");
        Click(folder.Path(), c.Width, c.Height);
        EXPECT_EQ(Prompts(), c.Says);
        EXPECT_EQ(DjpegSize(folder / "处理后a.jpg", work), c.Output);
    }
}

// Whatever lies in the folder, the run never crashes or hangs, reports each bad file by name
// and goes on, writes only whole JPEGs, leaves no temporary file and changes no file it did not
// write; the loaders' own tests go through each kind of damage in detail.
// What the run must make of a file: an output, a message naming it, or a failed save.
enum Fate { kConverted, kReported, kUnsaved };

// One run over garbage, pictures in disguise, truncations, inputs
// that once broke the loader, entries that are no files and odd names.
TEST_F(BatchRun, BadFilesAreReportedOnceByNameAndGoodOnesConverted) {
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
    // Noise pictures of each kind, so that every byte matters, cut from 0 bytes to 47/48.
    for (const auto& [source, format] :
         {std::pair{"p.jpg", "-interlace JPEG"}, {"r.bmp", "-colors 16 -compress RLE bmp3:"}}) {
        Picture(work / source, std::string("-size 48x40 xc: +noise Random ") + format);
        const Bytes whole = work.Read(source);
        for (int step = 0; step < 48; ++step) {
            const std::string name = "cut" + std::to_string(step) + "_" + source;
            folder.File(name, whole.substr(0, whole.size() * step / 48));
            fates[name] = kReported;
        }
    }
    // The committed ones: a kilobyte of run-length codes that claims 16777240 x 9 pixels, a
    // damaged GIF (screen 44312 x 16, frame 24 x 16) once written out as a blank picture, and a
    // valid progressive JPEG of 41 scans that each sweep its picture, past the scan budget.
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

    Run(folder.Path(), "8", "8");
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "alias.jpg"));
    // Refused files are named by exactly one message and have no output (a bitmap's is named
    // .jpg); then one message for the failed save and the count.
    const auto prompts = Prompts();
    const auto saying = [&](const std::string& text) {
        return std::count_if(prompts.begin(), prompts.end(), [&](const std::string& prompt) {
            return prompt.find(text) != std::string::npos;
        });
    };
    std::size_t reported = 0;
    for (const auto& [name, fate] : fates) {
        reported += fate == kReported;
        const std::string output =
            kPrefix + (name.ends_with(".bmp") ? name.substr(0, name.size() - 4) + ".jpg" : name);
        std::error_code tooLong;
        EXPECT_EQ(
            std::pair(std::filesystem::exists(folder / output, tooLong), saying("'" + name + "'")),
            std::pair(fate == kConverted, std::ptrdiff_t(fate == kReported)))
            << name;
    }
    const int total = static_cast<int>(fates.size());
    EXPECT_EQ(saying("Quillane|Failed to save to JPG|48"), 1);
    EXPECT_EQ(prompts.size(), reported + 2);
    EXPECT_EQ(prompts.back(), "System|调整成功:" + std::to_string(total) + "张图片！|0");
    // More pictures than the bar's maximum: it follows them up to 100 and stays there.
    std::vector<float> progress;
    std::vector<std::pair<int, int>> done;
    for (int i = 1; i <= total; ++i) {
        done.emplace_back(i, total);
        if (i <= 100) progress.push_back(float(i));
    }
    progress.push_back(0);
    EXPECT_EQ(Progress, progress);
    EXPECT_EQ(Done, done);
}

}  // namespace
}  // namespace quillane
