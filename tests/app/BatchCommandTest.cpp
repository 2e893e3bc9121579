// quillane-batch run as a separate program with no display at all, the way a script runs it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImageReader>
#include <array>
#include <cstdio>
#include <filesystem>

#include "support/PictureFiles.h"

namespace quillane {
namespace {

using test::Quote;
using testing::TempFolder;

struct Outcome {
    int Status = -1;
    std::string Output;  // standard output and standard error together
};

// Runs the program without any display or Qt platform in its environment.
Outcome RunBatch(const std::string& arguments) {
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                Quote(QUILLANE_BATCH_PROGRAM) + " " + arguments + " 2>&1";
    Outcome outcome;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return outcome;
    std::array<char, 4096> buffer{};
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
        outcome.Output.append(buffer.data(), n);
    }
    const int status = pclose(pipe);
    outcome.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

bool MakePicture(const std::string& path, const std::string& size) {
    return test::Shell("convert -size " + size + " gradient:white-black " + Quote(path));
}

QSize SizeOf(const std::string& path) {
    return QImageReader(QString::fromStdString(path)).size();
}

class BatchCommand : public ::testing::Test {
  protected:
    void SetUp() override { REQUIRE_TOOL("convert"); }
    TempFolder folder;
};

TEST_F(BatchCommand, ConvertsAFolderWithDefaultSizesAndExitsZero) {
    ASSERT_TRUE(MakePicture(folder / "a.jpg", "400x300"));
    ASSERT_TRUE(MakePicture(folder / "b.bmp", "30x60"));
    const Outcome outcome = RunBatch(Quote(folder.Path()));
    EXPECT_EQ(outcome.Status, 0) << outcome.Output;
    EXPECT_NE(outcome.Output.find("调整成功:2张图片！"), std::string::npos) << outcome.Output;
    for (const char* name : {"处理后a.jpg", "处理后b.jpg"}) {
        EXPECT_EQ(SizeOf(folder / name), QSize(176, 220)) << name;
        EXPECT_EQ(QImageReader(QString::fromStdString(folder / name)).format(), "jpeg") << name;
    }
}

TEST_F(BatchCommand, SizesFromOptionsAndStatusOneWhenAPictureFails) {
    ASSERT_TRUE(MakePicture(folder / "a.jpg", "40x30"));
    folder.File("broken.bmp", "BM not really");
    const Outcome outcome = RunBatch("--width 33 --height=44 " + Quote(folder.Path()));
    EXPECT_EQ(outcome.Status, 1) << outcome.Output;
    EXPECT_NE(outcome.Output.find("broken.bmp"), std::string::npos) << outcome.Output;
    EXPECT_NE(outcome.Output.find("调整成功:2张图片！"), std::string::npos) << outcome.Output;
    EXPECT_EQ(SizeOf(folder / "处理后a.jpg"), QSize(33, 44));
}

TEST_F(BatchCommand, RefusedRunsExitTwoAndHelpExitsZero) {
    ASSERT_TRUE(MakePicture(folder / "a.jpg", "40x30"));
    TempFolder empty;
    const struct {
        std::string Arguments;
        int Status;
        const char* Says;
    } cases[] = {
        {"--width abc " + Quote(folder.Path()), 2, "must Number"},
        {"--height 40000 " + Quote(folder.Path()), 2, "Error"},
        {Quote(empty.Path()), 2, "文件夹没有jpg和bmp图片"},
        {Quote(folder / "missing"), 2, "Path not found"},
        {"--bogus " + Quote(folder.Path()), 2, "unknown option"},
        {"", 2, "no folder given"},
        {"--help", 0, "Usage: quillane-batch"},
        {"--help", 0, "Exit status"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Arguments);
        const Outcome outcome = RunBatch(c.Arguments);
        EXPECT_EQ(outcome.Status, c.Status) << outcome.Output;
        EXPECT_NE(outcome.Output.find(c.Says), std::string::npos) << outcome.Output;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "处理后a.jpg"));
}

}  // namespace
}  // namespace quillane
