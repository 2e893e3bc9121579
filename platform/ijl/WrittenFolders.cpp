#include "platform/ijl/WrittenFolders.h"

#include <fcntl.h>
#include <unistd.h>

#include <mutex>
#include <set>

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

std::size_t FlushWrittenFolders() {
    std::set<std::string> folders;
    {
        const std::lock_guard<std::mutex> hold(g_lock);
        folders.swap(g_folders);
    }
    std::size_t flushed = 0;
    for (const std::string& folder : folders) {
        const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) continue;
        flushed += fsync(fd) == 0;
        close(fd);
    }
    return flushed;
}

}  // namespace quillane
