#pragma once
// A picture file as the loader reads it: opened only when it is a regular file within the size
// cap (reading a FIFO would wait forever, a device never ends), read through its open
// descriptor, so that renaming, replacing or deleting it afterwards changes nothing, and
// stamped, so that a change of its content while it is read shows.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/picture/PictureLimits.h"

namespace quillane {

// A file's state on disk: any change of its content, its permissions or the file itself (a
// replacement by rename gives a new inode) shows as a difference.
struct FileStamp {
    unsigned long long Device = 0, Inode = 0;
    long long Size = 0, ModifiedNs = 0, ChangedNs = 0;
    bool operator==(const FileStamp&) const = default;
    // Everything but the change time, which a rename or a chmod moves on as well: what an open
    // file's content depends on.
    bool SameContent(const FileStamp& other) const;
};

// Why a file could not be opened or read, from the errno: 53 when it is missing, else 75
// ("cannot be read (Input/output error)", in the system's own words where nothing plainer fits).
PictureFailure FileAccessFailure(int error);

// The stamp of the file at path, following symbolic links; empty when it cannot be had.
std::optional<FileStamp> StampOf(const std::string& path);

class FileSnapshot {
  public:
    // Opens the file for reading. Fails with 53 (missing), 75 (unreadable, a folder, a FIFO,
    // socket or device, a link that leads nowhere) or 7 (larger than kMaxFileBytes), saying why.
    [[nodiscard]] static PictureResult<FileSnapshot> Open(const std::string& path);

    FileSnapshot(FileSnapshot&& other) noexcept;
    FileSnapshot& operator=(FileSnapshot&& other) noexcept;
    FileSnapshot(const FileSnapshot&) = delete;
    FileSnapshot& operator=(const FileSnapshot&) = delete;
    ~FileSnapshot();

    // The open file, for reads by offset; valid while this snapshot lives.
    int Descriptor() const { return m_fd; }
    // Its length when it was opened.
    std::size_t Size() const { return static_cast<std::size_t>(m_stamp.Size); }

    // The first `count` bytes, fewer when the file is shorter.
    [[nodiscard]] PictureResult<std::vector<std::uint8_t>> ReadStart(std::size_t count) const;
    // The whole file as it is now, which may be longer than Size(), up to the size cap.
    [[nodiscard]] PictureResult<std::vector<std::uint8_t>> ReadWhole() const;

    // The failure to report when the file's content is no longer what it was when opened.
    std::optional<PictureFailure> Changed() const;

  private:
    FileSnapshot(int fd, const FileStamp& stamp) : m_fd(fd), m_stamp(stamp) {}

    int m_fd = -1;
    FileStamp m_stamp;
};

}  // namespace quillane
