#pragma once
// File-system helpers shared by the enumeration, the folder list and the drive list. Names and
// paths are byte strings; nothing here converts them.

#include <compare>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillane {

enum class EntryType {
    Regular,    // a regular file, or a symbolic link to one
    Directory,  // a folder, or a symbolic link to one
    Other,      // devices, FIFOs, sockets, dangling links
};

struct FolderEntry {
    std::string Name;
    EntryType Type = EntryType::Other;
    bool Hidden = false;  // the name starts with "."
    bool Link = false;    // a symbolic link (Type is what it leads to)
};

struct FolderListing {
    std::vector<FolderEntry> Entries;  // sorted by NameOrderLess, without "." and ".."
    int Errno = 0;                     // 0 when the folder was read completely
};

// Reads a folder's names and their types. Types come from lstat/stat alone, so no entry is
// opened (a FIFO would block). An entry that vanishes while it is read is left out.
FolderListing ReadFolder(const std::string& folder);

// What every name of one file or folder shares (links followed): its device and inode number.
struct FileId {
    unsigned long long Device = 0;
    unsigned long long Inode = 0;
    auto operator<=>(const FileId&) const = default;
};
// Empty when path leads nowhere.
std::optional<FileId> FileIdOf(const std::string& path);

// The order of a listing: ASCII letters compared without case, then the bytes break ties so
// the order is total and stable.
bool NameOrderLess(std::string_view a, std::string_view b);

// Makes path absolute against base (an absolute folder) and removes ".", ".." and repeated or
// trailing "/" (the root stays "/"). Purely textual: symbolic links are not resolved.
std::string NormalizePath(std::string_view path, std::string_view base);

// The process's working folder as the system gives it; "/" when it cannot be had (removed, or
// beyond any path length).
std::string CurrentDirectory();

// The run-time error for a folder that could not be read: Path not found (76) when it is
// missing or not a folder, Path/File access error (75) otherwise. Names the folder.
[[noreturn]] void RaiseFolderError(int errnoValue, const std::string& folder);

}  // namespace quillane
