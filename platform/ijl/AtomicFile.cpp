#include "platform/ijl/AtomicFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "platform/ijl/IjlTesting.h"
#include "platform/ijl/WrittenFolders.h"

namespace quillane {

namespace {

constexpr int kCreateAttempts = 16;  // name clashes are rare; give up on a folder that is odd

// A fresh name for the temporary file. The leading dot hides it from folder listings (ours
// included), and its fixed, short length keeps it under NAME_MAX whatever the target is called.
std::string TemporaryName() {
    std::uint64_t value = 0;
    if (getrandom(&value, sizeof value, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof value)) {
        // Without the kernel's generator, the clock and process id still make clashes rare,
        // and O_EXCL turns any clash into another attempt.
        static std::uint64_t counter = 0;
        const auto ticks = std::chrono::system_clock::now().time_since_epoch().count();
        value = (static_cast<std::uint64_t>(ticks) << 8) ^
                (static_cast<std::uint64_t>(getpid()) << 40) ^ ++counter;
    }
    char name[40];
    std::snprintf(name, sizeof name, ".quillane-%016" PRIx64 ".tmp", value);
    return name;
}

// The name under which the kernel lets an open file, unnamed or not, be linked into a folder.
std::string ProcPathOf(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

AtomicFile::~AtomicFile() {
    Abandon();
}

int AtomicFile::Open(const std::string& target) {
    Abandon();
    m_target = target;
    m_written = 0;
    m_replacing = false;
    m_unnamed = false;
    const std::size_t slash = target.rfind('/');
    m_folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);

    if (const int injected = IjlFaultsInEffect().CreateErrno) {
        return injected;
    }
    // An unnamed file in the target's folder has no name to leave behind, whatever happens
    // to the process; it gets one only when it is complete. 0666 lets the umask decide, as
    // for any file a program creates.
    if (!IjlFaultsInEffect().NoUnnamedFiles) {
        const int fd =
            open(m_folder.empty() ? "." : m_folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        // Naming it later goes through /proc; without /proc the named temporary file serves.
        if (fd >= 0 && access(ProcPathOf(fd).c_str(), F_OK) == 0) {
            m_fd = fd;
            m_unnamed = true;
        } else if (fd >= 0) {
            close(fd);
        }
    }
    int error = m_unnamed ? 0 : EEXIST;
    for (int attempt = 0; attempt < kCreateAttempts && error == EEXIST; ++attempt) {
        const std::string candidate = m_folder + TemporaryName();
        const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            m_fd = fd;
            m_temporary = candidate;
            error = 0;
        } else {
            error = errno;
        }
    }
    if (error != 0) {
        return error;
    }
    // Replacing a file keeps the permissions its owner gave it (ownership is not carried over).
    struct stat existing {};
    m_replacing = lstat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
    if (m_replacing) {
        fchmod(m_fd, existing.st_mode & 0777);
    }
    return 0;
}

int AtomicFile::Write(const void* data, std::size_t size) {
    if (m_fd < 0) {
        return EBADF;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t allowed = size;
    const std::int64_t budget = IjlFaultsInEffect().WriteBytesBeforeFailure;
    if (budget >= 0 && m_written + static_cast<std::int64_t>(size) > budget) {
        allowed = static_cast<std::size_t>(budget > m_written ? budget - m_written : 0);
    }
    std::size_t done = 0;
    while (done < allowed) {
        const ssize_t n = write(m_fd, bytes + done, allowed - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        done += static_cast<std::size_t>(n);
        m_written += n;
    }
    return allowed == size ? 0 : ENOSPC;
}

int AtomicFile::Commit() {
    if (m_fd < 0) {
        return EBADF;
    }
    // The data reaches the disk before the file gets its name, so that a power cut right after
    // cannot leave an empty or zero-filled file under a finished output's name, nor where a good
    // one stood. A failed flush (EIO) fails the save: the bytes may never reach the disk. File
    // systems that cannot sync (EINVAL) do not fail it.
    int error = IjlFaultsInEffect().SyncErrno;
    if (error == 0 && fdatasync(m_fd) != 0 && errno != EINVAL) {
        error = errno;
    }
    if (error == 0) {
        error = IjlFaultsInEffect().RenameErrno;
    }
    // The unnamed file is named while it is still open: straight under the target's name when
    // that is free, else under a hidden name that is then renamed over the target (a link
    // never replaces a file).
    std::string linked;
    if (error == 0 && m_unnamed) {
        error = LinkUnnamed(linked);
    }
    if (close(m_fd) != 0 && error == 0) {
        error = errno;
    }
    m_fd = -1;
    if (error == 0 && !m_temporary.empty() && rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        if (!linked.empty() && m_temporary.empty()) {
            unlink(linked.c_str());  // a fresh target that the failing close makes untrustworthy
        }
        Abandon();
        return error;
    }
    m_temporary.clear();
    NoteWrittenFolder(m_folder);
    return 0;
}

int AtomicFile::LinkUnnamed(std::string& linked) {
    const std::string source = ProcPathOf(m_fd);
    auto link = [&](const std::string& name) {
        return linkat(AT_FDCWD, source.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0
                   ? 0
                   : errno;
    };
    int error = link(m_target);
    if (error == 0) {
        linked = m_target;
        return 0;
    }
    for (int attempt = 0; attempt < kCreateAttempts && error == EEXIST; ++attempt) {
        const std::string candidate = m_folder + TemporaryName();
        error = link(candidate);
        if (error == 0) {
            m_temporary = linked = candidate;
        }
    }
    return error;
}

void AtomicFile::Abandon() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.empty()) {
        unlink(m_temporary.c_str());
        m_temporary.clear();
    }
}

}  // namespace quillane
