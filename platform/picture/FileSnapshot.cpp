#include "platform/picture/FileSnapshot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace quillane {
namespace {

constexpr std::size_t kReadChunk = std::size_t{1} << 20;

}  // namespace

PictureFailure FileAccessFailure(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return {ErrorNumber::FileNotFound, "does not exist"};
        case EACCES:
        case EPERM:
            return {ErrorNumber::PathFileAccessError, "cannot be read (permission denied)"};
        case ELOOP:
            return {ErrorNumber::PathFileAccessError, "is a symbolic link that leads nowhere"};
        default:
            return {ErrorNumber::PathFileAccessError,
                    std::string("cannot be read (") + std::strerror(error) + ")"};
    }
}

namespace {

PictureFailure TooLarge() {
    return {ErrorNumber::OutOfMemory, "is larger than the 512 MiB limit"};
}

std::optional<PictureFailure> CheckRegularFile(const struct stat& info) {
    if (S_ISDIR(info.st_mode)) {
        return PictureFailure{ErrorNumber::PathFileAccessError, "is a folder"};
    }
    if (!S_ISREG(info.st_mode)) {
        return PictureFailure{ErrorNumber::PathFileAccessError,
                              "is not a regular file (a device, FIFO or socket)"};
    }
    if (info.st_size > kMaxFileBytes) return TooLarge();
    return std::nullopt;
}

FileStamp StampOfInfo(const struct stat& info) {
    FileStamp stamp;
    stamp.Device = info.st_dev;
    stamp.Inode = info.st_ino;
    stamp.Size = info.st_size;
    stamp.ModifiedNs = info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec;
    stamp.ChangedNs = info.st_ctim.tv_sec * 1'000'000'000LL + info.st_ctim.tv_nsec;
    return stamp;
}

// Closes a descriptor unless it is handed over.
class OwnedDescriptor {
  public:
    explicit OwnedDescriptor(int fd) : m_fd(fd) {}
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;
    ~OwnedDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    int Get() const { return m_fd; }
    int Release() { return std::exchange(m_fd, -1); }

  private:
    int m_fd;
};

}  // namespace

bool FileStamp::SameContent(const FileStamp& other) const {
    return Device == other.Device && Inode == other.Inode && Size == other.Size &&
           ModifiedNs == other.ModifiedNs;
}

std::optional<FileStamp> StampOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return StampOfInfo(info);
}

PictureResult<FileSnapshot> FileSnapshot::Open(const std::string& path) {
    // Only regular files are opened: stat decides first, and O_NONBLOCK keeps a FIFO swapped in
    // between stat and open from blocking the open. The stamp is the open file's own.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return FileAccessFailure(errno);
    if (auto failure = CheckRegularFile(info)) return *failure;
    OwnedDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0) return FileAccessFailure(errno);
    if (::fstat(file.Get(), &info) != 0) return FileAccessFailure(errno);
    if (auto failure = CheckRegularFile(info)) return *failure;
    return FileSnapshot(file.Release(), StampOfInfo(info));
}

FileSnapshot::FileSnapshot(FileSnapshot&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_stamp(other.m_stamp) {}

FileSnapshot& FileSnapshot::operator=(FileSnapshot&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_stamp = other.m_stamp;
    }
    return *this;
}

FileSnapshot::~FileSnapshot() {
    if (m_fd >= 0) ::close(m_fd);
}

PictureResult<std::vector<std::uint8_t>> FileSnapshot::ReadStart(std::size_t count) const {
    std::vector<std::uint8_t> bytes(count);
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::pread(m_fd, bytes.data() + got, count - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return FileAccessFailure(errno);
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

PictureResult<std::vector<std::uint8_t>> FileSnapshot::ReadWhole() const {
    // The measured length wins over the one stat gave: the file may change while it is read.
    std::vector<std::uint8_t> bytes;
    bytes.reserve(Size() + kReadChunk);
    for (;;) {
        const std::size_t used = bytes.size();
        if (static_cast<std::int64_t>(used) > kMaxFileBytes) return TooLarge();
        bytes.resize(used + kReadChunk);
        const ssize_t got =
            ::pread(m_fd, bytes.data() + used, kReadChunk, static_cast<off_t>(used));
        if (got < 0 && errno == EINTR) {
            bytes.resize(used);
            continue;
        }
        if (got < 0) return FileAccessFailure(errno);
        bytes.resize(used + static_cast<std::size_t>(got));
        if (got == 0) break;
    }
    // No shrink_to_fit: it would copy the whole file once more, doubling the peak for a large
    // picture, to give back at most one chunk.
    return bytes;
}

std::optional<PictureFailure> FileSnapshot::Changed() const {
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) return FileAccessFailure(errno);
    if (StampOfInfo(info).SameContent(m_stamp)) return std::nullopt;
    return PictureFailure{ErrorNumber::PathFileAccessError, "changed while it was being read"};
}

}  // namespace quillane
