// quillane-batch run as a separate program with no display at all, the way a script runs it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImageReader>
#include <csignal>
#include <thread>

#include "app/BatchFixture.h"

namespace quillane {
namespace {

using test::Quote;
using testing::BatchTest;
using testing::TempFolder;

std::size_t Outputs(const TempFolder& folder) {
    std::size_t count = 0;
    for (const std::string& name : folder.Entries()) count += name.starts_with("处理后");
    return count;
}

TEST_F(BatchTest, CommandExitStatusMessagesAndOutputs) {
    TempFolder empty, other;
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
        EXPECT_EQ(Command(c.Arguments), c.Status) << Said;
        for (const char* says : c.Says) EXPECT_NE(Said.find(says), std::string::npos) << Said;
        EXPECT_EQ(Outputs(folder) + Outputs(other), written += c.Outputs.size());
        for (const auto& [path, size] : c.Outputs) {
            const QImageReader reader(QString::fromStdString(path));
            EXPECT_EQ(std::pair(reader.size(), reader.format()),
                      std::pair(size, QByteArray("jpeg")));
        }
    }
}

// Qt's reader plugins, first made by the helper thread that decodes ahead (here for the
// run-length BMP, which Qt reads), were torn down at exit through freed memory, which now and then
// aborted a run that had succeeded. valgrind sees every such read; AddressSanitizer does not see
// Qt's. libjpeg-turbo's vector code is turned off for it: valgrind tracks some of its instructions
// too coarsely and takes the pixels it makes for uninitialised.
TEST_F(BatchTest, ReadingAheadWithQtLeavesNothingForTheExitToTripOn) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "valgrind cannot run a program built with AddressSanitizer";
#endif
    // The first picture is large enough for the helper to have read the second by its turn.
    ASSERT_TRUE(test::Shell("convert -size 3000x2000 plasma:red-blue " + Quote(folder / "a.jpg")));
    ASSERT_TRUE(test::Shell("convert -size 40x30 gradient:red-blue -colors 16 -compress RLE BMP3:" +
                            Quote(folder / "b.bmp")));
    EXPECT_EQ(Command("--width 8 --height 8 " + Quote(folder.Path()),
                      "JSIMD_FORCENONE=1 valgrind -q --error-exitcode=99"),
              0)
        << Said;
}

// A run signalled mid-way: SIGINT and SIGTERM let the picture being written finish, say how
// many were done and leave only whole outputs and the originals.
TEST_F(BatchTest, ASignalledCommandLeavesOnlyWholeOutputsAndTheOriginals) {
    const std::string source = work / "source.jpg";
    ASSERT_TRUE(test::Shell("convert -size 3000x2000 gradient:white-black " + Quote(source)));
    const test::Bytes original = test::ReadBytes(source);
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, {SIGTERM, 143}}) {
        SCOPED_TRACE(strsignal(signal));
        TempFolder run;
        for (int i = 0; i < 24; ++i)
            test::WriteBytes(run / ("p" + std::to_string(i) + ".jpg"), original);
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(open((work / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            execl(QUILLANE_BATCH_PROGRAM, QUILLANE_BATCH_PROGRAM, "--width=1200", "--height=900",
                  run.Path().c_str(), nullptr);
            _exit(127);
        }
        ASSERT_GT(pid, 0);
        // Until the first output is in place (bounded: a minute), then at once.
        for (int wait = 0; wait < 60000 && Outputs(run) == 0; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        kill(pid, signal);
        int wstatus = 0;
        ASSERT_EQ(waitpid(pid, &wstatus, 0), pid);
        const std::size_t done = Outputs(run);
        const std::string said = work.Read("stderr");
        EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == status) << said;
        EXPECT_NE(said.find(std::string("stopped by SIG") + sigabbrev_np(signal) + ": " +
                            std::to_string(done) + " of 24 pictures done"),
                  std::string::npos)
            << said;
        EXPECT_TRUE(done > 0 && done < 24) << done << " done: the signal came too late";
        for (const std::string& name : run.Entries()) {
            EXPECT_TRUE(name.starts_with("处理后")
                            ? DjpegSize(run / name, work) == std::pair(1200, 900)
                            : name[0] == 'p' && test::ReadBytes(run / name) == original)
                << name << ": changed, cut short or left behind";
        }
    }
}

}  // namespace
}  // namespace quillane
