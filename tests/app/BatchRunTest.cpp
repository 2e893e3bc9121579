// The start button's run on real folders: fields, listing, conversion, names, messages and the
// progress bar. A run that decodes ahead on a helper thread must be indistinguishable from one
// that reads every picture at its turn: same messages, same progress values, same bytes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "BatchFixture.h"

namespace quillane {
namespace {

using ::testing::AllOf;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Matcher;
using ::testing::StartsWith;
using testing::TempFolder;
using Layout = std::vector<std::pair<std::string, std::string>>;

class BatchRun : public testing::BatchTest {
  protected:
    // Each entry is a picture drawn from "-size ...", a folder for "/", else a file of the text.
    static void Lay(const TempFolder& into, const Layout& layout) {
        for (const auto& [name, what] : layout) {
            if (what == "/") {
                into.Folder(name);
            } else if (what.starts_with("-size")) {
                Picture(into / name, what);
            } else {
                into.File(name, what);
            }
        }
    }
    // Every entry with its bytes; folders end in "/".
    static std::map<std::string, std::string> Files(const TempFolder& of) {
        std::map<std::string, std::string> files;
        for (const std::string& name : of.Entries()) {
            const bool isFolder = std::filesystem::is_directory(of / name);
            files[name + (isFolder ? "/" : "")] = isFolder ? "" : of.Read(name);
        }
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
} kScenarios[] = {
    // The bar follows the files, stands at its maximum for the message, then returns to 0. The
    // first picture's output replaces a red picture before that one's own turn comes.
    {"pictures of either kind and any case, among other files",
     {{"photo.JPG", "-size 640x480 plasma:fractal"},
      {"处理后photo.JPG", "-size 50x50 xc:red"},
      {"Scan.BMP", "-size 40x90 xc:red"},
      {"small.jpg", "-size 10x10 xc:green"},
      {kOdd, kPicture},
      {"notes.txt", "no picture"}},
     {"System|调整成功:5张图片！|0"},
     {1, 2, 3, 4, 5, 100, 0},
     {"photo.JPG", "Scan.BMP", "small.jpg", kOdd, "notes.txt", "处理后photo.JPG", "处理后Scan.jpg",
      "处理后small.jpg", "处理后" + kOdd, "处理后处理后photo.JPG"}},
    {"no pictures",
     {{"readme.txt", "x"}},
     {"Warning|文件夹没有jpg和bmp图片|48"},
     {},
     {"readme.txt"}},
    {"a bad picture is reported by name and the run goes on",
     {{"a.jpg", kPicture}, {"b.jpg", "this is not a picture at all"}, {"c.bmp", kPicture}},
     {AllOf(StartsWith("Quillane|"), HasSubstr("b.jpg"), EndsWith("|0")),
      "System|调整成功:3张图片！|0"},
     {1, 2, 3, 100, 0},
     {"a.jpg", "b.jpg", "c.bmp", "处理后a.jpg", "处理后c.jpg"}},
    // The output name is taken by a folder: the write cannot replace it, and leaves no
    // temporary file behind.
    {"a failed write",
     {{"a.jpg", kPicture}, {"处理后a.jpg", "/"}},
     {"Quillane|Failed to save to JPG|48", "System|调整成功:1张图片！|0"},
     {1, 100, 0},
     {"a.jpg", "处理后a.jpg/"}},
    // Two pictures: the replaced one is the helper's first.
    {"an earlier run's output is converted too",
     {{"a.jpg", "-size 300x200 xc:blue"}, {"处理后a.jpg", "-size 300x200 xc:red"}},
     {"System|调整成功:2张图片！|0"},
     {1, 2, 100, 0},
     {"a.jpg", "处理后a.jpg", "处理后处理后a.jpg"}},
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
            Run(copy.Path(), " 176 ", " 220 ");
            EXPECT_THAT(Prompts(true), ::testing::ElementsAreArray(s.Says));
            EXPECT_EQ(Progress, s.Progress);
            const auto files = Files(copy);
            std::set<std::string> names;
            for (const auto& entry : files) names.insert(entry.first);
            EXPECT_EQ(names, s.After);
            if (round == 0) oneByOne = files;
            EXPECT_TRUE(files == oneByOne) << "decoding ahead changed a file";
        }
    }
}

TEST_F(BatchRun, ContentKeepsItsColoursAndTheLaterEntryWinsASharedName) {
    // marks: left half red, right half blue, top of the blue side green. a.bmp and a.jpg both
    // write 处理后a.jpg; the listing puts a.bmp first, so the blue one must stay.
    Lay(folder, {{"marks.bmp",
                  "-size 200x100 xc:red -fill blue -draw 'rectangle 100,0 199,99' "
                  "-fill lime -draw 'rectangle 100,0 199,49'"},
                 {"a.bmp", "-size 64x48 xc:red"},
                 {"a.jpg", "-size 64x48 xc:blue"}});
    Run(folder.Path(), "50", "40");
    const struct {
        const char* Name;
        int X, Y, R, G, B;
    } marks[] = {{"处理后marks.jpg", 5, 20, 255, 0, 0},
                 {"处理后marks.jpg", 45, 5, 0, 255, 0},
                 {"处理后marks.jpg", 45, 35, 0, 0, 255},
                 {"处理后a.jpg", 25, 20, 0, 0, 255}};
    for (const auto& m : marks) {
        SCOPED_TRACE(std::string(m.Name) + " at " + std::to_string(m.X) + "," +
                     std::to_string(m.Y));
        const test::RgbPicture image = test::DecodeJpeg(folder / m.Name).Picture;
        ASSERT_EQ(std::pair(image.Width, image.Height), std::pair(50, 40));
        const std::uint8_t* rgb = image.At(m.X, m.Y);
        EXPECT_LT(std::abs(rgb[0] - m.R) + std::abs(rgb[1] - m.G) + std::abs(rgb[2] - m.B), 100);
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
        EXPECT_EQ(Prompts(true), c.Says);
        EXPECT_EQ(std::filesystem::exists(folder / "处理后a.jpg"), c.Output.first > 0);
        EXPECT_EQ(DjpegSize(folder / "处理后a.jpg"), c.Output);
    }
}

}  // namespace
}  // namespace quillane
