// The pictures of a run through sub-folders: every folder below the chosen one is listed as the
// chosen one is, without ever following a link to a folder or reading one folder twice, so a
// loop in the tree cannot make the run endless.

#include <optional>
#include <set>

#include "app/FormMain.h"
#include "platform/forms/FileSystem.h"

namespace quillane {

bool FormMain::ListPictures(const std::string& Path, std::vector<std::string>& fileName) {
    if (!Settings.Recursive) return GetDirectoryFileList(Path, fileName);
    const std::string root = Path.ends_with("/") ? Path : Path + "/";
    // Outputs made below the chosen folder are no pictures to convert.
    const std::optional<FileId> output =
        Settings.OutputFolder.empty() ? std::nullopt : FileIdOf(Settings.OutputFolder);
    std::set<FileId> seen;
    std::vector<std::string> found;
    // Folders still to be listed, relative to the root. A folder's pictures come before those
    // of its sub-folders, which follow in name order, so the list reads like the tree.
    std::vector<std::string> pending{""};
    while (!pending.empty()) {
        const std::string relative = std::move(pending.back());
        pending.pop_back();
        const std::optional<FileId> id = FileIdOf(root + relative);
        if (!id || (id == output && !relative.empty()) || !seen.insert(*id).second) continue;
        std::vector<std::string> names;
        if (GetDirectoryFileList(root + relative, names)) {
            for (const std::string& name : names) found.push_back(relative + name);
        }
        const FolderListing listing = ReadFolder(root + relative);
        for (auto entry = listing.Entries.rbegin(); entry != listing.Entries.rend(); ++entry) {
            if (entry->Type == EntryType::Directory && !entry->Hidden && !entry->Link) {
                pending.push_back(relative + entry->Name + "/");
            }
        }
    }
    fileName = std::move(found);
    return !fileName.empty();
}

}  // namespace quillane
