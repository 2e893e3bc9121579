// Disks that refuse or run out in the middle of a file. In every case the writer says "Failed
// to save to JPG", no partial output and no temporary file is left, a file already under the
// output's name keeps every byte, and the run goes on to convert the next picture.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>

#include "HostileBatchSupport.h"
#include "app/FormMain.h"
#include "platform/ijl/IjlTesting.h"

namespace quillane {
namespace {

using testing::Bytes;
using testing::FolderAudit;
using testing::Have;
using testing::MessageRecorder;
using testing::ReadAll;
using testing::Shell;
using testing::TempFolder;
using testing::WriteNoisePpm;

// Moves this test process into a mount namespace of its own, where it may mount without
// touching the machine's; false where the system does not allow it (no privilege).
bool OwnMountNamespace() {
    static const bool own = unshare(CLONE_NEWNS) == 0 &&
                            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return own;
}

// Saves and restores the file size limit and the signal that exceeding it sends.
class FileSizeLimit {
  public:
    FileSizeLimit() {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);  // else the process is killed, not told
    }
    ~FileSizeLimit() {
        Lift();
        std::signal(SIGXFSZ, m_handler);
    }
    bool Set(rlim_t bytes) {
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        return setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    void Lift() { setrlimit(RLIMIT_FSIZE, &m_saved); }

  private:
    rlimit m_saved{};
    void (*m_handler)(int) = SIG_DFL;
};

class FailingDisk : public testing::BatchWithToolsTest {
  protected:
    void TearDown() override {
        IjlSetFaultsForTesting({});
        BatchWithToolsTest::TearDown();
    }

    // Two noisy pictures, a.jpg and b.jpg, whose 300 x 300 outputs are tens of kilobytes.
    void TwoPictures(const std::string& where) {
        WriteNoisePpm(scratch, 40, 40);
        for (const char* name : {"a.jpg", "b.jpg"}) {
            ASSERT_TRUE(Shell("cjpeg -outfile '" + where + "/" + name + "' '" + scratch + "'"));
        }
    }

    // Runs the start button at 300 x 300; onFirstDone runs after the first picture.
    void Run(const std::string& where, std::function<void()> onFirstDone = {}) {
        const FolderAudit audit(where);
        form.OnPictureDone = [&](std::int32_t done, std::int32_t) {
            if (done == 1 && onFirstDone) onFirstDone();
        };
        form.DirS.SetPath(where);
        form.txtW.SetText("300");
        form.txtH.SetText("300");
        form.CMD_OK.Click();
        audit.Check(300, 300, scratch);
    }

    std::vector<std::string> Prompts() const {
        std::vector<std::string> prompts;
        for (const auto& message : recorder.Messages) prompts.push_back(message.Prompt);
        return prompts;
    }

    TempFolder folder;
    MessageRecorder recorder;
    FormMain form;
};

// Each way a save can fail, armed for the first picture only; the second must then succeed.
// Under the first output's name lies the output of an earlier run, which must survive.
TEST_F(FailingDisk, AFailedRewriteKeepsTheExistingFileByteForByte) {
    struct Case {
        const char* Name;
        std::function<bool(const std::string& folder)> Arm;  // false: not possible here
        std::function<void()> Disarm;
    };
    FileSizeLimit sizeLimit;
    Bytes filler;
    const Case cases[] = {
        {"create refused",
         [](const std::string&) {
             IjlFaults faults;
             faults.CreateErrno = EACCES;
             IjlSetFaultsForTesting(faults);
             return true;
         },
         [] { IjlSetFaultsForTesting({}); }},
        {"nothing written",
         [](const std::string&) {
             IjlFaults faults;
             faults.WriteBytesBeforeFailure = 0;
             IjlSetFaultsForTesting(faults);
             return true;
         },
         [] { IjlSetFaultsForTesting({}); }},
        {"disk full after 3000 bytes",
         [](const std::string&) {
             IjlFaults faults;
             faults.WriteBytesBeforeFailure = 3000;
             IjlSetFaultsForTesting(faults);
             return true;
         },
         [] { IjlSetFaultsForTesting({}); }},
        {"rename refused",
         [](const std::string&) {
             IjlFaults faults;
             faults.RenameErrno = EIO;
             IjlSetFaultsForTesting(faults);
             return true;
         },
         [] { IjlSetFaultsForTesting({}); }},
        {"file size limit", [&](const std::string&) { return sizeLimit.Set(4096); },
         [&] { sizeLimit.Lift(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        recorder.Messages.clear();
        const std::string where = folder / c.Name;
        std::filesystem::create_directory(where);
        TwoPictures(where);
        // An earlier run's output, bigger than any of the limits above.
        ASSERT_TRUE(Shell("convert -size 200x200 plasma:red-blue '" + where + "/处理后a.jpg'"));
        const Bytes precious = ReadAll(where + "/处理后a.jpg");
        ASSERT_GT(precious.size(), 4096u);

        ASSERT_TRUE(c.Arm(where));
        Run(where, c.Disarm);
        c.Disarm();

        // The earlier output is a picture of the folder too, and is converted in its turn.
        EXPECT_EQ(Prompts(),
                  (std::vector<std::string>{"Failed to save to JPG", "调整成功:3张图片！"}));
        EXPECT_EQ(recorder.Messages.front().Style, 48);
        EXPECT_TRUE(ReadAll(where + "/处理后a.jpg") == precious) << "the earlier output changed";
        EXPECT_TRUE(std::filesystem::exists(where + "/处理后处理后a.jpg"));
        EXPECT_TRUE(std::filesystem::exists(where + "/处理后b.jpg"));
    }
}

TEST_F(FailingDisk, ReadOnlyFolder) {
    TwoPictures(folder.Path());
    bool mounted = false;
    if (OwnMountNamespace()) {
        mounted =
            mount(folder.Path().c_str(), folder.Path().c_str(), nullptr, MS_BIND, nullptr) == 0;
        ASSERT_TRUE(mounted) << std::strerror(errno);
        ASSERT_EQ(mount(nullptr, folder.Path().c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY,
                        nullptr),
                  0)
            << std::strerror(errno);
    } else if (geteuid() != 0) {
        ASSERT_EQ(chmod(folder.Path().c_str(), 0555), 0);
    } else {
        GTEST_SKIP() << "running as root without the right to mount: a folder cannot be made "
                        "read-only here (the injected faults above cover the same paths)";
    }
    Run(folder.Path());
    if (mounted) {
        umount2(folder.Path().c_str(), MNT_DETACH);
    } else {
        chmod(folder.Path().c_str(), 0755);
    }
    EXPECT_EQ(Prompts(), (std::vector<std::string>{"Failed to save to JPG", "Failed to save to JPG",
                                                   "调整成功:2张图片！"}));
    EXPECT_FALSE(std::filesystem::exists(folder / "处理后a.jpg"));
    EXPECT_FALSE(std::filesystem::exists(folder / "处理后b.jpg"));
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
    std::filesystem::create_directory(disk + "/full");  // out of the audit's sight
    testing::WriteAll(disk + "/full/filler", Bytes(freeBytes - 8192, 'f'));

    Run(disk, [&] { std::filesystem::remove(disk + "/full/filler"); });
    umount2(disk.c_str(), MNT_DETACH);

    EXPECT_EQ(Prompts(), (std::vector<std::string>{"Failed to save to JPG", "调整成功:2张图片！"}));
}

}  // namespace
}  // namespace quillane
