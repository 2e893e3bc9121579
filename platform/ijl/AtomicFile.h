#pragma once
// A file that appears under its name only once it is complete: the bytes go to an unnamed file
// in the target's folder (O_TMPFILE), linked into place on Commit, so that not even a killed
// process leaves anything behind; where the file system has no unnamed files, to a hidden
// temporary file renamed over the target. Until then the target, if it exists, keeps its old
// content; an abandoned file leaves nothing behind.

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillane {

class AtomicFile {
  public:
    AtomicFile() = default;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    // Removes the temporary file unless Commit succeeded.
    ~AtomicFile();

    // Creates the temporary file for the target path (a byte string, used as it is). New files
    // get the usual 0666 less the umask; an existing regular target passes on its permission
    // bits. Returns 0 or the errno of the failure.
    [[nodiscard]] int Open(const std::string& target);

    // Appends bytes, retrying short writes. Returns 0 or the errno of the failure.
    [[nodiscard]] int Write(const void* data, std::size_t size);

    // Flushes the data to the disk, then closes the file and puts it in place under the
    // target's name, and notes its folder for FlushWrittenFolders. Returns 0 or the errno of the
    // failure (a failed flush included), in which case the temporary file is gone again.
    [[nodiscard]] int Commit();

    // Closes and removes the temporary file, if any.
    void Abandon();

    // The hidden temporary file's path while one is open ("" otherwise, and for an unnamed
    // file).
    const std::string& TemporaryPath() const { return m_temporary; }

  private:
    // Gives the open unnamed file a name: the target's when it is free (linked is then the
    // target), else a hidden one in m_temporary for Commit to rename. Returns 0 or the errno.
    int LinkUnnamed(std::string& linked);

    std::string m_target;
    std::string m_folder;  // the target's folder with its "/", or "" for the current one
    std::string m_temporary;
    int m_fd = -1;
    std::int64_t m_written = 0;
    bool m_replacing = false;  // the target existed as a regular file when the file was opened
    bool m_unnamed = false;    // written through an O_TMPFILE file, which has no name yet
};

}  // namespace quillane
