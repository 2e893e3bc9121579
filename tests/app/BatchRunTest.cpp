// The start button's run on real folders: fields, listing, conversion, names, messages and the
// progress bar, with every output decoded again by libjpeg.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "app/FormMain.h"
#include "support/PictureFiles.h"

namespace quillane {
namespace {

using ::testing::AllOf;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Matcher;
using testing::MessageRecorder;
using ::testing::StartsWith;
using testing::TempFolder;

using Size = std::pair<int, int>;  // 0 x 0: no JPEG file there

Size SizeOf(const std::string& path) {
    const test::DecodedJpeg jpeg = test::DecodeJpeg(path);
    return {jpeg.Picture.Width, jpeg.Picture.Height};
}

// Every entry under the folder by its relative path, folders ending in "/".
std::set<std::string> Tree(const TempFolder& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.Path())) {
        names.insert(std::filesystem::relative(entry.path(), folder.Path()).string() +
                     (entry.is_directory() ? "/" : ""));
    }
    return names;
}

struct Outcome {
    std::vector<std::string> Messages;  // title|prompt|style
    std::vector<float> Progress;
};

// Runs the start button on the folder with the two fields as typed.
Outcome Start(const TempFolder& folder, const std::string& width, const std::string& height) {
    MessageRecorder recorder;
    FormMain form;
    form.DirS.SetPath(folder.Path());
    form.txtW.SetText(width);
    form.txtH.SetText(height);
    Outcome outcome;
    const int token = form.tBar.Subscribe([&] { outcome.Progress.push_back(form.tBar.Value()); });
    form.CMD_OK.Click();
    form.tBar.Unsubscribe(token);
    for (const auto& m : recorder.Messages)
        outcome.Messages.push_back(m.Title + "|" + m.Prompt + "|" + std::to_string(m.Style));
    return outcome;
}

// What each entry of a folder holds: a picture made by ImageMagick from "-size ...", a folder
// for "/", else a file of that text.
using Layout = std::vector<std::pair<std::string, std::string>>;
void Lay(const TempFolder& folder, const Layout& layout) {
    for (const auto& [name, what] : layout) {
        if (what == "/") {
            folder.Folder(name);
        } else if (what.starts_with("-size")) {
            ASSERT_TRUE(test::Shell("convert " + what + " " + test::Quote(folder / name))) << name;
        } else {
            folder.File(name, what);
        }
    }
}

const std::string kPicture = "-size 64x48 gradient:red-blue";
const std::string kOdd = "\xff\xfe odd.jpg";  // no valid UTF-8: the bytes must survive

const struct {
    const char* Title;
    Layout Before;
    std::vector<Matcher<std::string>> Says;
    std::vector<float> Progress;
    std::set<std::string> After;  // the folder's entries afterwards
} kScenarios[] = {
    // The bar follows the files, stands at its maximum for the message, then returns to 0.
    {"pictures of either kind and any case, among other files",
     {{"photo.JPG", "-size 300x200 gradient:red-blue"},
      {"Scan.BMP", "-size 40x90 xc:red"},
      {"small.jpg", "-size 10x10 xc:green"},
      {kOdd, kPicture},
      {"notes.txt", "no picture"}},
     {"System|调整成功:4张图片！|0"},
     {1, 2, 3, 4, 100, 0},
     {"photo.JPG", "Scan.BMP", "small.jpg", kOdd, "notes.txt", "处理后photo.JPG", "处理后Scan.jpg",
      "处理后small.jpg", "处理后" + kOdd}},
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
    {"an earlier run's output is converted too",
     {{"a.jpg", kPicture}, {"处理后a.jpg", kPicture}},
     {"System|调整成功:2张图片！|0"},
     {1, 2, 100, 0},
     {"a.jpg", "处理后a.jpg", "处理后处理后a.jpg"}},
};

TEST(BatchRun, ScenariosGiveTheirMessagesProgressAndFiles) {
    REQUIRE_TOOL("convert");
    for (const auto& s : kScenarios) {
        SCOPED_TRACE(s.Title);
        TempFolder folder;
        Lay(folder, s.Before);
        ASSERT_FALSE(HasFatalFailure());
        const Outcome outcome = Start(folder, " 176 ", " 220 ");
        EXPECT_THAT(outcome.Messages, ::testing::ElementsAreArray(s.Says));
        EXPECT_EQ(outcome.Progress, s.Progress);
        EXPECT_EQ(Tree(folder), s.After);
        for (const std::string& name : s.After) {
            if (name.starts_with("处理后") && std::filesystem::is_regular_file(folder / name)) {
                EXPECT_EQ(SizeOf(folder / name), Size(176, 220)) << name;
            }
        }
    }
}

TEST(BatchRun, ContentKeepsItsColoursAndTheLaterEntryWinsASharedName) {
    REQUIRE_TOOL("convert");
    TempFolder folder;
    // marks: left half red, right half blue, top of the blue side green. a.bmp and a.jpg both
    // write 处理后a.jpg; the listing puts a.bmp first, so the blue one must stay.
    Lay(folder, {{"marks.bmp",
                  "-size 200x100 xc:red -fill blue -draw 'rectangle 100,0 199,99' "
                  "-fill lime -draw 'rectangle 100,0 199,49'"},
                 {"a.bmp", "-size 64x48 xc:red"},
                 {"a.jpg", "-size 64x48 xc:blue"}});
    ASSERT_FALSE(HasFatalFailure());
    Start(folder, "50", "40");
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
        ASSERT_EQ(Size(image.Width, image.Height), Size(50, 40));
        const std::uint8_t* rgb = image.At(m.X, m.Y);
        EXPECT_LT(std::abs(rgb[0] - m.R), 40);
        EXPECT_LT(std::abs(rgb[1] - m.G), 40);
        EXPECT_LT(std::abs(rgb[2] - m.B), 40);
    }
}

TEST(BatchRun, FieldsAreCheckedBeforeAnythingIsConverted) {
    REQUIRE_TOOL("convert");
    TempFolder folder;
    Lay(folder, {{"a.jpg", kPicture}});
    const struct {
        const char *Width, *Height, *Says;
        Size Output;  // 0 x 0: nothing may be written
    } cases[] = {
        {"abc", "220", "Warning|must Number|48", {}},
        {"176", "", "Warning|must Number|48", {}},
        {"40000", "220", "System|Error|48", {}},
        {"-5", "220", "System|Error|48", {}},
        {"176", "0", "System|Error|48", {}},
        // Halves round to the even neighbour.
        {"176.5", "177.5", "System|调整成功:1张图片！|0", {176, 178}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Width) + " x " + c.Height);
        EXPECT_EQ(Start(folder, c.Width, c.Height).Messages, std::vector<std::string>{c.Says});
        EXPECT_EQ(std::filesystem::exists(folder / "处理后a.jpg"), c.Output.first > 0);
        EXPECT_EQ(SizeOf(folder / "处理后a.jpg"), c.Output);
    }
}

}  // namespace
}  // namespace quillane
