// quillane-batch run as a separate program with no display at all, the way a script runs it.

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QImageReader>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/PictureFiles.h"

namespace quillane {
namespace {

using test::Quote;
using testing::TempFolder;

bool MakePicture(const std::string& path, const std::string& size) {
    return test::Shell("convert -size " + size + " gradient:white-black " + Quote(path));
}

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

// A run signalled mid-way: SIGINT and SIGTERM let the picture being written finish and say how
// many were done; even SIGKILL leaves only whole outputs (on a file system with unnamed files).
TEST(BatchCommand, ASignalledRunLeavesOnlyWholeOutputsAndTheOriginals) {
    REQUIRE_TOOL("convert");
    REQUIRE_TOOL("djpeg");
    constexpr int kPictures = 24;
    TempFolder scratch;
    const std::string source = scratch / "source.jpg";
    ASSERT_TRUE(MakePicture(source, "3000x2000"));
    const test::Bytes original = test::ReadBytes(source);
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, {SIGTERM, 143}, {SIGKILL, -1}}) {
        SCOPED_TRACE(strsignal(signal));
        TempFolder run;
        for (int i = 0; i < kPictures; ++i)
            test::WriteBytes(run / ("p" + std::to_string(i) + ".jpg"), original);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, (scratch / "stderr").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::string arguments[] = {QUILLANE_BATCH_PROGRAM, "--width=1200", "--height=900",
                                   run.Path()};
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        auto outputs = [&] {
            int count = 0;
            for (const std::string& name : run.Entries()) count += name.rfind("处理后", 0) == 0;
            return count;
        };
        // Until the first output is in place (bounded: a minute), then at once.
        for (int wait = 0; wait < 60000 && outputs() == 0; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        kill(pid, signal);
        int wstatus = 0;
        ASSERT_EQ(waitpid(pid, &wstatus, 0), pid);
        const int done = outputs();
        const std::string said = scratch.Read("stderr");
        if (signal == SIGKILL) {
            EXPECT_TRUE(WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == SIGKILL) << said;
        } else {
            EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == status) << said;
            EXPECT_NE(said.find(std::string("stopped by SIG") + sigabbrev_np(signal) + ": " +
                                std::to_string(done) + " of 24 pictures done"),
                      std::string::npos)
                << said;
        }
        EXPECT_GT(done, 0);
        EXPECT_LT(done, kPictures) << "the run ended before the signal";
        const bool killedMayLeaveATemporary =
            signal == SIGKILL && !testing::UnnamedFilesWork(run.Path());
        for (const std::string& name : run.Entries()) {
            SCOPED_TRACE(name);
            if (name.rfind("处理后", 0) == 0) {
                ASSERT_TRUE(test::Shell("djpeg -outfile " + Quote(scratch / "out.ppm") + " " +
                                        Quote(run / name)));
                const test::RgbPicture decoded = test::ReadPpm(scratch / "out.ppm");
                EXPECT_EQ(decoded.Width * 10000 + decoded.Height, 1200 * 10000 + 900);
            } else if (name[0] == 'p') {
                EXPECT_EQ(test::ReadBytes(run / name), original);
            } else {
                EXPECT_TRUE(killedMayLeaveATemporary) << "left behind";
            }
        }
    }
}

}  // namespace
}  // namespace quillane
