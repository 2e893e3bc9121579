// quillane-batch run as a separate program with no display at all, the way a script runs it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImageReader>
#include <array>
#include <cstdio>
#include <filesystem>

#include "support/FolderFixtures.h"

namespace quillane {
namespace {

using testing::TempFolder;

struct Outcome {
    int Status = -1;
    std::string Output;  // standard output and standard error together
};

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

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
    return std::system(
               ("convert -size " + size + " gradient:white-black " + Quote(path) + " 2>/dev/null")
                   .c_str()) == 0;
}

class BatchCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::system("command -v convert >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "ImageMagick's convert is needed to make pictures";
        }
    }
    TempFolder folder;
};

TEST_F(BatchCommand, ConvertsAFolderWithDefaultSizesAndExitsZero) {
    ASSERT_TRUE(MakePicture(folder / "a.jpg", "400x300"));
    ASSERT_TRUE(MakePicture(folder / "b.bmp", "30x60"));
    const Outcome outcome = RunBatch(Quote(folder.Path()));
    EXPECT_EQ(outcome.Status, 0) << outcome.Output;
    EXPECT_NE(outcome.Output.find("调整成功:2张图片！"), std::string::npos) << outcome.Output;
    for (const char* name : {"处理后a.jpg", "处理后b.jpg"}) {
        QImageReader reader(QString::fromStdString(folder / name));
        EXPECT_EQ(reader.size(), QSize(176, 220)) << name;
        EXPECT_EQ(reader.format(), "jpeg") << name;
    }
}

TEST_F(BatchCommand, SizesFromOptionsAndStatusOneWhenAPictureFails) {
    ASSERT_TRUE(MakePicture(folder / "a.jpg", "40x30"));
    folder.File("broken.bmp", "BM not really");
    const Outcome outcome = RunBatch("--width 33 --height=44 " + Quote(folder.Path()));
    EXPECT_EQ(outcome.Status, 1) << outcome.Output;
    EXPECT_NE(outcome.Output.find("broken.bmp"), std::string::npos) << outcome.Output;
    EXPECT_NE(outcome.Output.find("调整成功:2张图片！"), std::string::npos) << outcome.Output;
    EXPECT_EQ(QImageReader(QString::fromStdString(folder / "处理后a.jpg")).size(), QSize(33, 44));
}

TEST_F(BatchCommand, RefusedRunsExitTwo) {
    ASSERT_TRUE(MakePicture(folder / "a.jpg", "40x30"));
    TempFolder empty;
    const struct {
        std::string arguments;
        const char* says;
    } cases[] = {
        {"--width abc " + Quote(folder.Path()), "must Number"},
        {"--height 40000 " + Quote(folder.Path()), "Error"},
        {Quote(empty.Path()), "文件夹没有jpg和bmp图片"},
        {Quote(folder / "missing"), "Path not found"},
        {"--bogus " + Quote(folder.Path()), "unknown option"},
        {"", "no folder given"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = RunBatch(c.arguments);
        EXPECT_EQ(outcome.Status, 2) << c.arguments << "\n" << outcome.Output;
        EXPECT_NE(outcome.Output.find(c.says), std::string::npos) << c.arguments << "\n"
                                                                  << outcome.Output;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "处理后a.jpg"));
}

TEST_F(BatchCommand, HelpExplainsTheCommand) {
    const Outcome outcome = RunBatch("--help");
    EXPECT_EQ(outcome.Status, 0);
    EXPECT_NE(outcome.Output.find("Usage: quillane-batch"), std::string::npos);
    EXPECT_NE(outcome.Output.find("Exit status"), std::string::npos);
}

}  // namespace
}  // namespace quillane
