#include "platform/forms/DirListBox.h"

#include <sys/stat.h>

#include <cerrno>
#include <utility>

#include "platform/base/RuntimeError.h"
#include "platform/forms/Events.h"
#include "platform/forms/FileSystem.h"
#include "platform/forms/Volumes.h"

namespace quillane {

namespace {

std::string StartFolder() {
    const std::string cwd = CurrentDirectory();
    return cwd[0] == '/' ? NormalizePath(cwd, "/") : std::string("/");
}

}  // namespace

DirListBox::DirListBox(std::string name, float left, float top, float width, float height,
                       int tabIndex)
    : Control(ControlKind::DirListBox, std::move(name), kNoControlIndex, left, top, width, height,
              tabIndex),
      m_path(StartFolder()) {
    BuildEntries();
}

void DirListBox::SetPath(const std::string& path) {
    std::string wanted;
    // A drive list's text ("/ [System]", "c:") opens that volume's top folder.
    const std::vector<Volume> volumes = MountedVolumes();
    const int volume = FindVolume(path, volumes);
    if (volume >= 0) {
        wanted = volumes[static_cast<std::size_t>(volume)].MountPoint;
    } else if (path.empty()) {
        RaiseError(ErrorNumber::PathNotFound, "Path not found: (empty path)");
    } else {
        wanted = NormalizePath(path, m_path);
    }

    struct stat info {};
    if (stat(wanted.c_str(), &info) != 0) RaiseFolderError(errno, wanted);
    if (!S_ISDIR(info.st_mode)) RaiseFolderError(ENOTDIR, wanted);

    if (wanted == m_path) return;
    m_path = std::move(wanted);
    BuildEntries();
    NotifyChanged();
    ReportRuntimeErrors(OnChange);
}

void DirListBox::Refresh() {
    BuildEntries();
    NotifyChanged();
}

void DirListBox::BuildEntries() {
    m_entries.clear();
    m_entries.push_back({"/", "/", 0, m_path == "/"});
    std::string full;
    int level = 0;
    std::size_t start = 1;
    while (start < m_path.size()) {
        std::size_t end = m_path.find('/', start);
        if (end == std::string::npos) end = m_path.size();
        full = m_path.substr(0, end);
        ++level;
        m_entries.push_back({m_path.substr(start, end - start), full, level, end == m_path.size()});
        start = end + 1;
    }
    m_currentEntry = static_cast<int>(m_entries.size()) - 1;

    // A folder whose contents cannot be read still opens; it just shows no sub-folders.
    const std::string prefix = m_path == "/" ? std::string("/") : m_path + "/";
    for (const FolderEntry& entry : ReadFolder(m_path).Entries) {
        if (entry.Type == EntryType::Directory && !entry.Hidden) {
            m_entries.push_back({entry.Name, prefix + entry.Name, level + 1, false});
        }
    }
}

}  // namespace quillane
