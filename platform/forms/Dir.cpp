#include "platform/forms/Dir.h"

#include <vector>

#include "platform/base/Conversions.h"
#include "platform/forms/FileSystem.h"

namespace quillane {

namespace {

// The one enumeration of the process: the names found by the last Dir(pattern, attributes)
// and how many of them have been handed out.
struct Cursor {
    std::vector<std::string> Names;
    std::size_t Next = 0;
};

Cursor& TheCursor() {
    static Cursor cursor;
    return cursor;
}

// "*" any run of bytes, "?" one byte, ASCII letters without case. Iterative with one
// backtrack point, so a long mask cannot blow up.
bool MatchesMask(std::string_view name, std::string_view mask) {
    if (mask.empty() || mask == "*" || mask == "*.*") return true;  // "*.*" also takes "README"
    std::size_t n = 0, m = 0, starMask = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || AsciiLower(mask[m]) == AsciiLower(name[n]))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

bool Wanted(const FolderEntry& entry, int attributes) {
    if (entry.Hidden && (attributes & vbHidden) == 0) return false;
    switch (entry.Type) {
        case EntryType::Regular:
            return true;
        case EntryType::Directory:
            return (attributes & vbDirectory) != 0;
        case EntryType::Other:
            return (attributes & vbSystem) != 0;
    }
    return false;
}

}  // namespace

std::string Dir(const std::string& pattern, int attributes) {
    Cursor& cursor = TheCursor();
    cursor = Cursor{};  // a failed start leaves no half-old enumeration behind

    const std::size_t slash = pattern.rfind('/');
    std::string folder;
    std::string_view mask = pattern;
    if (slash != std::string::npos) {
        folder = slash == 0 ? std::string("/") : pattern.substr(0, slash);
        mask = std::string_view(pattern).substr(slash + 1);
    } else {
        folder = ".";
    }

    FolderListing listing = ReadFolder(folder);
    if (listing.Errno != 0) RaiseFolderError(listing.Errno, folder);
    for (FolderEntry& entry : listing.Entries) {
        if (Wanted(entry, attributes) && MatchesMask(entry.Name, mask)) {
            cursor.Names.push_back(std::move(entry.Name));
        }
    }
    return Dir();
}

std::string Dir() {
    Cursor& cursor = TheCursor();
    if (cursor.Next >= cursor.Names.size()) return {};
    return cursor.Names[cursor.Next++];
}

}  // namespace quillane
