#include "platform/ijl/WrittenFolders.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <set>

#include "platform/ijl/IjlTesting.h"

namespace quillane {
namespace {

// Only the user-interface thread writes files today; the lock keeps that from mattering.
std::mutex g_lock;
std::set<std::string> g_folders;

}  // namespace

void NoteWrittenFolder(const std::string& folder) {
    const std::lock_guard<std::mutex> hold(g_lock);
    g_folders.insert(folder.empty() ? "." : folder);
}

FolderFlush FlushWrittenFolders() {
    std::set<std::string> folders;
    {
        const std::lock_guard<std::mutex> hold(g_lock);
        folders.swap(g_folders);
    }
    FolderFlush flush;
    for (const std::string& folder : folders) {
        const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        int error = fd < 0 ? errno : IjlFaultsInEffect().FolderSyncErrno;
        if (error == 0 && fsync(fd) != 0 && errno != EINVAL) error = errno;
        if (fd >= 0) close(fd);
        if (error == 0) {
            ++flush.Flushed;
        } else {
            flush.Failed.push_back({folder, error});
        }
    }
    return flush;
}

}  // namespace quillane
