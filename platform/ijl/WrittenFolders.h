#pragma once
// The folders files were put into, flushed to the disk once at the end of a run. A file's
// data reaches the disk before its name is linked (AtomicFile::Commit), but the name itself
// lives in the folder, which the kernel writes back in its own time: until the folder is
// flushed, a power cut may lose a finished output's name (never leave a partial file under it).
// Flushing the folder once per run rather than once per file keeps a run of small pictures fast.

#include <cstddef>
#include <string>
#include <vector>

namespace quillane {

// Remembers the folder ("" for the current one, else ending in "/") of a file just put in place.
void NoteWrittenFolder(const std::string& folder);

// A folder whose new names could not be flushed, and the errno of the failure.
struct UnflushedFolder {
    std::string Folder;
    int Error = 0;
    bool operator==(const UnflushedFolder&) const = default;
};
struct FolderFlush {
    std::size_t Flushed = 0;
    std::vector<UnflushedFolder> Failed;
};

// Flushes every folder noted since the last call to the disk (fsync), and forgets them. A folder
// that cannot be opened or flushed is listed as failed: the files in it are whole and their data
// on the disk, but their names may not survive a power cut. A file system that cannot flush a
// folder at all (EINVAL) fails nothing, as it fails no file's flush.
FolderFlush FlushWrittenFolders();

}  // namespace quillane
