// quillane-batch run as a separate program with no display at all, the way a script runs it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImageReader>
#include <cstdlib>
#include <filesystem>

#include "support/PictureFiles.h"

namespace quillane {
namespace {

using test::Quote;
using testing::TempFolder;

// Runs the program without any display or Qt platform in its environment; the exit status and
// standard output and standard error together.
std::pair<int, std::string> RunBatch(const TempFolder& work, const std::string& arguments) {
    const int status = std::system(("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                    Quote(QUILLANE_BATCH_PROGRAM) + " " + arguments + " >" +
                                    Quote(work / "said") + " 2>&1")
                                       .c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, work.Read("said")};
}

TEST(BatchCommand, ExitStatusMessagesAndOutputs) {
    REQUIRE_TOOL("convert");
    TempFolder folder, empty, other, work;
    for (const auto& [path, size] : {std::pair{folder / "a.jpg", "400x300"},
                                     {folder / "b.bmp", "30x60"},
                                     {other / "a.jpg", "40x30"}})
        ASSERT_TRUE(test::Shell("convert -size " + std::string(size) + " gradient:white-black " +
                                Quote(path)));
    other.File("broken.bmp", "BM not really");
    const struct {
        std::string Arguments;
        int Status;
        std::vector<const char*> Says;
        std::vector<std::pair<std::string, QSize>> Outputs;  // after this run
    } cases[] = {
        {"--width abc " + Quote(folder.Path()), 2, {"must Number"}, {}},
        {"--height 40000 " + Quote(folder.Path()), 2, {"Error"}, {}},
        {Quote(empty.Path()), 2, {"文件夹没有jpg和bmp图片"}, {}},
        {Quote(folder / "missing"), 2, {"Path not found"}, {}},
        {"--bogus " + Quote(folder.Path()), 2, {"unknown option"}, {}},
        {"", 2, {"no folder given"}, {}},
        {"--help", 0, {"Usage: quillane-batch", "Exit status"}, {}},
        {Quote(folder.Path()),
         0,
         {"调整成功:2张图片！"},  // the default size
         {{folder / "处理后a.jpg", {176, 220}}, {folder / "处理后b.jpg", {176, 220}}}},
        {"--width 33 --height=44 " + Quote(other.Path()),
         1,
         {"broken.bmp", "调整成功:2张图片！"},
         {{other / "处理后a.jpg", {33, 44}}}},
    };
    std::size_t written = 0;  // no refused run writes anything
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Arguments);
        const auto [status, output] = RunBatch(work, c.Arguments);
        EXPECT_EQ(status, c.Status) << output;
        for (const char* says : c.Says) EXPECT_NE(output.find(says), std::string::npos) << output;
        std::size_t outputs = 0;
        for (const TempFolder* f : {&folder, &other})
            for (const std::string& name : f->Entries()) outputs += name.starts_with("处理后");
        EXPECT_EQ(outputs, written += c.Outputs.size());
        for (const auto& [path, size] : c.Outputs) {
            const QImageReader reader(QString::fromStdString(path));
            EXPECT_EQ(std::pair(reader.size(), reader.format()),
                      std::pair(size, QByteArray("jpeg")));
        }
    }
}

}  // namespace
}  // namespace quillane
