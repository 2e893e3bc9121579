// A JPEG whose file fails to read part-way, as a disk with a bad sector does: the picture fails
// with the run-time error of a failed read and the system's own words, whichever reader decodes
// it, not as a damaged picture.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "platform/picture/PictureFile.h"
#include "support/PictureFiles.h"

namespace {

// The file (by inode) whose reads fail from an offset on; 0: none.
std::atomic<ino_t> g_failingInode{0};
std::atomic<off_t> g_failingFrom{0};

}  // namespace

// This program's own pread, which the picture loader's reads reach before the C library's:
// the failing file gives its bytes up to the bad offset, then EIO, as the kernel does.
extern "C" ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
    struct stat info {};
    if (g_failingInode != 0 && fstat(fd, &info) == 0 && info.st_ino == g_failingInode) {
        if (offset >= g_failingFrom) {
            errno = EIO;
            return -1;
        }
        count = std::min<size_t>(count, size_t(g_failingFrom - offset));
    }
    return syscall(SYS_pread64, fd, buffer, count, offset);
}

namespace quillane::test {
namespace {

// A baseline and a progressive file, failing in their headers' window (read by libjpeg at open)
// or half-way (read by the scan budget's walk and each decoder), decoded whole by libjpeg and
// stretched by our sequential and progressive readers shrunk by eight and four.
TEST(JpegReadError, AFailedReadIsReportedAsSuchByEveryReader) {
    REQUIRE_TOOL("cjpeg");
    TempDir dir;
    for (const std::string options : {"", "-progressive"}) {
        const std::string path = dir.Path("photo" + options + ".jpg");
        ASSERT_TRUE(Cjpeg(Pattern(1200, 900), "-quality 100 " + options, path));
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        for (const off_t from : {off_t{300}, info.st_size / 2}) {
            for (const int width : {0, 16, 40}) {
                SCOPED_TRACE(path + " from " + std::to_string(from) + " at " +
                             std::to_string(width));
                g_failingFrom = from;
                g_failingInode = info.st_ino;
                const Raised raised = RaisedBy([&] {
                    auto file = PictureFile::Open(path);
                    (void)(width ? file->DecodeStretched(width, width * 3 / 4)
                                 : file->Decode(0, 0));
                });
                g_failingInode = 0;
                EXPECT_EQ(raised.Description, "Path/File access error: 'photo" + options +
                                                  ".jpg' cannot be read (Input/output error)");
            }
        }
        // Read whole again, the same file decodes.
        EXPECT_EQ(RaisedBy([&] { (void)PictureFile::Open(path)->Decode(40, 30); }).Number,
                  ErrorNumber::None);
    }
}

}  // namespace
}  // namespace quillane::test
