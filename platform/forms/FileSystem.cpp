#include "platform/forms/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/base/Conversions.h"
#include "platform/base/RuntimeError.h"

namespace quillane {

namespace {

EntryType TypeOf(int folderFd, const char* name, bool& link) {
    struct stat info {};
    if (fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return EntryType::Other;
    // A link counts as what it points to; a dangling one stays Other.
    link = S_ISLNK(info.st_mode);
    if (link && fstatat(folderFd, name, &info, 0) != 0) return EntryType::Other;
    if (S_ISREG(info.st_mode)) return EntryType::Regular;
    if (S_ISDIR(info.st_mode)) return EntryType::Directory;
    return EntryType::Other;
}

struct DirCloser {
    void operator()(DIR* folder) const { closedir(folder); }
};

}  // namespace

std::optional<FileId> FileIdOf(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileId{info.st_dev, info.st_ino};
}

bool NameOrderLess(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(AsciiLower(a[i]));
        const auto y = static_cast<unsigned char>(AsciiLower(b[i]));
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    // Equal without case ("a.jpg", "A.jpg"): the bytes decide, upper case first.
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

FolderListing ReadFolder(const std::string& folder) {
    FolderListing listing;
    std::unique_ptr<DIR, DirCloser> stream(opendir(folder.empty() ? "." : folder.c_str()));
    if (!stream) {
        listing.Errno = errno;
        return listing;
    }
    const int fd = dirfd(stream.get());
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(stream.get());
        if (entry == nullptr) {
            listing.Errno = errno;
            break;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        FolderEntry item;
        item.Name = entry->d_name;
        item.Hidden = item.Name[0] == '.';
        item.Type = TypeOf(fd, entry->d_name, item.Link);
        listing.Entries.push_back(std::move(item));
    }
    std::sort(
        listing.Entries.begin(), listing.Entries.end(),
        [](const FolderEntry& a, const FolderEntry& b) { return NameOrderLess(a.Name, b.Name); });
    return listing;
}

std::string CurrentDirectory() {
    const std::unique_ptr<char, decltype(&free)> cwd(getcwd(nullptr, 0), &free);
    return cwd ? std::string(cwd.get()) : std::string("/");
}

std::string NormalizePath(std::string_view path, std::string_view base) {
    std::vector<std::string_view> parts;
    auto push = [&parts](std::string_view text) {
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('/', start);
            if (end == std::string_view::npos) end = text.size();
            const std::string_view part = text.substr(start, end - start);
            if (part == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            start = end + 1;
        }
    };
    if (path.empty() || path[0] != '/') push(base);
    push(path);
    std::string result;
    for (std::string_view part : parts) {
        result += '/';
        result += part;
    }
    return result.empty() ? std::string("/") : result;
}

void RaiseFolderError(int errnoValue, const std::string& folder) {
    if (errnoValue == ENOENT || errnoValue == ENOTDIR) {
        RaiseError(ErrorNumber::PathNotFound, "Path not found: " + folder);
    }
    RaiseError(ErrorNumber::PathFileAccessError,
               "Path/File access error: " + folder + " (" + std::strerror(errnoValue) + ")");
}

}  // namespace quillane
