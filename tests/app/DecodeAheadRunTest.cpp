// A run that decodes ahead on a helper thread must be indistinguishable from one that reads
// every picture at its turn: same messages, same progress values, same files, byte for byte.

#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/FormMain.h"
#include "support/FolderFixtures.h"

namespace quillane {
namespace {

using testing::MessageRecorder;
using testing::TempFolder;

bool Convert(const std::string& arguments, const std::string& path) {
    return std::system(("convert " + arguments + " '" + path + "' 2>/dev/null").c_str()) == 0;
}

std::map<std::string, std::string> FilesIn(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        files[entry.path().filename().string()] = bytes.str();
    }
    return files;
}

struct RunRecord {
    std::vector<std::string> Messages;
    std::vector<float> Progress;
    std::map<std::string, std::string> Files;
};

// Lays out a folder in which the first picture's output replaces a later listed picture.
void MakeFolder(const TempFolder& folder) {
    ASSERT_TRUE(Convert("-size 300x200 gradient:white-black", folder / "a.jpg"));
    ASSERT_TRUE(Convert("-size 50x50 xc:red", folder / "处理后a.jpg"));
    ASSERT_TRUE(Convert("-size 120x80 gradient:blue-yellow", folder / "b.bmp"));
    folder.File("c.jpg", "damaged");
    ASSERT_TRUE(Convert("-size 640x480 plasma:fractal", folder / "d.jpg"));
    ASSERT_TRUE(Convert("-size 33x77 xc:green", folder / "e.BMP"));
    ASSERT_TRUE(Convert("-size 64x64 gradient:red-blue", folder / "f.jpg"));
}

void CopyFolder(const TempFolder& from, const TempFolder& to) {
    std::filesystem::copy(from.Path(), to.Path(), std::filesystem::copy_options::recursive);
}

RunRecord RunOn(const TempFolder& folder, bool decodeAhead) {
    MessageRecorder recorder;
    FormMain form;
    form.DecodeAheadEnabled = decodeAhead;
    form.DirS.SetPath(folder.Path());
    RunRecord record;
    const int token = form.tBar.Subscribe([&] { record.Progress.push_back(form.tBar.Value()); });
    form.CMD_OK.Click();
    form.tBar.Unsubscribe(token);
    for (const auto& message : recorder.Messages) {
        record.Messages.push_back(message.Title + "|" + message.Prompt);
    }
    record.Files = FilesIn(folder.Path());
    return record;
}

TEST(DecodeAheadRun, IsIndistinguishableFromReadingEachPictureAtItsTurn) {
    if (std::system("command -v convert >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ImageMagick's convert is needed to make pictures";
    }
    TempFolder original;
    TempFolder oneByOne;
    TempFolder ahead;
    MakeFolder(original);
    CopyFolder(original, oneByOne);
    CopyFolder(original, ahead);

    const RunRecord expected = RunOn(oneByOne, false);
    const RunRecord actual = RunOn(ahead, true);

    EXPECT_EQ(actual.Messages, expected.Messages);
    EXPECT_EQ(actual.Progress, expected.Progress);
    ASSERT_EQ(actual.Files.size(), expected.Files.size());
    for (const auto& [name, bytes] : expected.Files) {
        ASSERT_TRUE(actual.Files.count(name)) << name;
        EXPECT_TRUE(actual.Files.at(name) == bytes) << name << " differs";
    }
    // The second entry was read after the first one's output replaced it: what it became is
    // the gray gradient, not the red square that stood there before the run.
    QImage twice;
    ASSERT_TRUE(twice.loadFromData(
        reinterpret_cast<const uchar*>(actual.Files.at("处理后处理后a.jpg").data()),
        static_cast<int>(actual.Files.at("处理后处理后a.jpg").size())));
    const QRgb middle = twice.pixel(twice.width() / 2, twice.height() / 2);
    EXPECT_LT(std::abs(qRed(middle) - qBlue(middle)), 20);
}

TEST(DecodeAheadRun, TheHelpersFirstPictureWaitsForTheOutputThatReplacesIt) {
    if (std::system("command -v convert >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ImageMagick's convert is needed to make pictures";
    }
    // The second entry is the helper thread's first, and the first entry's output replaces it.
    TempFolder folder;
    ASSERT_TRUE(Convert("-size 300x200 xc:blue", folder / "x.jpg"));
    ASSERT_TRUE(Convert("-size 300x200 xc:red", folder / "处理后x.jpg"));
    const RunRecord record = RunOn(folder, true);
    ASSERT_EQ(record.Messages, std::vector<std::string>{"System|调整成功:2张图片！"});
    QImage twice;
    const std::string& bytes = record.Files.at("处理后处理后x.jpg");
    ASSERT_TRUE(twice.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                                   static_cast<int>(bytes.size())));
    EXPECT_GT(qBlue(twice.pixel(5, 5)), 200);
    EXPECT_LT(qRed(twice.pixel(5, 5)), 50);
}

TEST(DecodeAheadRun, RepeatedRunsStayIdentical) {
    if (std::system("command -v convert >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ImageMagick's convert is needed to make pictures";
    }
    // Timing differs from run to run; the outcome must not.
    TempFolder original;
    MakeFolder(original);
    for (int round = 0; round < 5; ++round) {
        TempFolder oneByOne;
        TempFolder ahead;
        CopyFolder(original, oneByOne);
        CopyFolder(original, ahead);
        const RunRecord expected = RunOn(oneByOne, false);
        const RunRecord actual = RunOn(ahead, true);
        EXPECT_EQ(actual.Messages, expected.Messages) << "round " << round;
        EXPECT_TRUE(actual.Files == expected.Files) << "round " << round;
    }
}

}  // namespace
}  // namespace quillane
