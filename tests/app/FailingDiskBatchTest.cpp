// Disks that refuse or run out in the middle of a file. In every case the writer says "Failed
// to save to JPG", no partial output and no temporary file is left, a file already under the
// output's name keeps every byte, and the run goes on to convert the next picture.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "BatchFixture.h"

namespace quillane {
namespace {

using testing::Quote;
using testing::Shell;

// Moves this test process into a mount namespace of its own, where it may mount without
// touching the machine's; false where the system does not allow it (no privilege).
bool OwnMountNamespace() {
    static const bool own = unshare(CLONE_NEWNS) == 0 &&
                            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return own;
}

class FailingDisk : public testing::BatchTest {
  protected:
    // Two noisy pictures, a.jpg and b.jpg, whose 300 x 300 outputs are tens of kilobytes.
    void TwoPictures(const std::string& where) {
        testing::WriteNoisePpm(work / "noise.ppm", 40, 40);
        for (const char* name : {"a.jpg", "b.jpg"}) {
            ASSERT_TRUE(Shell("cjpeg -outfile " + Quote(where + "/" + name) + " " +
                              Quote(work / "noise.ppm")));
        }
    }
};

// Each way a save can fail, armed for the first picture only; the second must then succeed.
// Under the first output's name lies the output of an earlier run, which must survive.
TEST_F(FailingDisk, AFailedRewriteKeepsTheExistingFileByteForByte) {
    const struct {
        const char* Name;
        IjlFaults Faults;
        rlim_t FileSizeLimit;  // 0: none
    } cases[] = {
        {"create refused", {.CreateErrno = EACCES}, 0},
        {"nothing written", {.WriteBytesBeforeFailure = 0}, 0},
        {"disk full after 3000 bytes", {.WriteBytesBeforeFailure = 3000}, 0},
        {"rename refused", {.RenameErrno = EIO}, 0},
        {"file size limit", {}, 4096},
    };
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);  // else the process is killed, not told
    const auto disarm = [&saved] {
        IjlSetFaultsForTesting({});
        setrlimit(RLIMIT_FSIZE, &saved);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string where = folder / c.Name;
        std::filesystem::create_directory(where);
        TwoPictures(where);
        // An earlier run's output, bigger than any of the limits above.
        Picture(where + "/处理后a.jpg", "-size 200x200 plasma:red-blue");
        const auto precious = test::ReadBytes(where + "/处理后a.jpg");
        ASSERT_GT(precious.size(), 4096u);

        rlimit limit = saved;
        if (c.FileSizeLimit) limit.rlim_cur = c.FileSizeLimit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        IjlSetFaultsForTesting(c.Faults);
        Run(where, "300", "300", disarm);
        disarm();

        // The earlier output is a picture of the folder too, and is converted in its turn.
        EXPECT_EQ(Prompts(true), (std::vector<std::string>{"Quillane|Failed to save to JPG|48",
                                                           "System|调整成功:3张图片！|0"}));
        EXPECT_TRUE(test::ReadBytes(where + "/处理后a.jpg") == precious)
            << "earlier output changed";
        for (const char* name : {"/处理后处理后a.jpg", "/处理后b.jpg"})
            EXPECT_TRUE(std::filesystem::exists(where + name)) << name;
    }
    std::signal(SIGXFSZ, handler);
}

TEST_F(FailingDisk, ReadOnlyFolder) {
    const std::string& where = folder.Path();
    TwoPictures(where);
    const bool mounted = OwnMountNamespace();
    if (mounted) {
        ASSERT_EQ(mount(where.c_str(), where.c_str(), nullptr, MS_BIND, nullptr), 0)
            << std::strerror(errno);
        ASSERT_EQ(mount(nullptr, where.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr),
                  0)
            << std::strerror(errno);
    } else if (geteuid() != 0) {
        ASSERT_EQ(chmod(where.c_str(), 0555), 0);
    } else {
        GTEST_SKIP() << "running as root without the right to mount: a folder cannot be made "
                        "read-only here (the injected faults above cover the same paths)";
    }
    Run(where, "300", "300");
    mounted ? umount2(where.c_str(), MNT_DETACH) : chmod(where.c_str(), 0755);
    EXPECT_EQ(Prompts(), (std::vector<std::string>{"Failed to save to JPG", "Failed to save to JPG",
                                                   "调整成功:2张图片！"}));
}

TEST_F(FailingDisk, SmallDiskFillsUpInTheMiddleOfAFile) {
    if (!OwnMountNamespace()) {
        GTEST_SKIP() << "no right to mount a small tmpfs here; the file size limit and the "
                        "injected write failure cover the same path";
    }
    const std::string disk = folder / "disk";
    std::filesystem::create_directory(disk);
    ASSERT_EQ(mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k"), 0) << std::strerror(errno);
    TwoPictures(disk);
    // Fill the disk to within a few blocks; the output needs far more.
    struct statvfs space {};
    ASSERT_EQ(statvfs(disk.c_str(), &space), 0);
    const std::uint64_t freeBytes = std::uint64_t{space.f_bavail} * space.f_frsize;
    ASSERT_GT(freeBytes, 16384u);
    folder.Folder("disk/full");  // out of the audit's sight
    folder.File("disk/full/filler", std::string(freeBytes - 8192, 'f'));

    Run(disk, "300", "300", [&] { std::filesystem::remove(disk + "/full/filler"); });
    umount2(disk.c_str(), MNT_DETACH);

    EXPECT_EQ(Prompts(), (std::vector<std::string>{"Failed to save to JPG", "调整成功:2张图片！"}));
}

}  // namespace
}  // namespace quillane
