#include "platform/forms/DriveListBox.h"

#include <sys/stat.h>

#include <utility>

#include "platform/base/RuntimeError.h"
#include "platform/forms/Events.h"
#include "platform/forms/FileSystem.h"

namespace quillane {

namespace {

// The volume whose mount point is the longest leading folder of path.
int VolumeHolding(const std::string& path, const std::vector<Volume>& volumes) {
    int best = 0;
    std::size_t bestLength = 0;
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        const std::string& mount = volumes[i].MountPoint;
        const bool inside =
            mount == "/" || path == mount ||
            (path.size() > mount.size() && path.compare(0, mount.size(), mount) == 0 &&
             path[mount.size()] == '/');
        if (inside && mount.size() >= bestLength) {
            best = static_cast<int>(i);
            bestLength = mount.size();
        }
    }
    return best;
}

}  // namespace

DriveListBox::DriveListBox(std::string name, float left, float top, float width, float height,
                           int tabIndex)
    : Control(ControlKind::DriveListBox, std::move(name), kNoControlIndex, left, top, width, height,
              tabIndex) {
    m_volumes = MountedVolumes();
    for (const Volume& volume : m_volumes) m_list.push_back(VolumeText(volume));
    m_listIndex = VolumeHolding(CurrentDirectory(), m_volumes);
}

std::string DriveListBox::Drive() const {
    return m_list[static_cast<std::size_t>(m_listIndex)];
}

int DriveListBox::FindVolume(const std::string& drive) const {
    return quillane::FindVolume(drive, m_volumes);
}

void DriveListBox::SetDrive(const std::string& drive) {
    const int index = FindVolume(drive);
    if (index < 0) RaiseError(ErrorNumber::DeviceUnavailable, "Device unavailable: " + drive);
    // A volume that went away since the list was read (or a share that does not answer) is
    // not selected, as a drive without a medium is refused.
    struct stat info {};
    const std::string& mount = m_volumes[static_cast<std::size_t>(index)].MountPoint;
    if (stat(mount.c_str(), &info) != 0) {
        RaiseError(ErrorNumber::DeviceUnavailable, "Device unavailable: " + mount);
    }
    if (index == m_listIndex) return;
    Select(index);
}

void DriveListBox::Refresh() {
    const std::string current = m_volumes[static_cast<std::size_t>(m_listIndex)].MountPoint;
    m_volumes = MountedVolumes();
    m_list.clear();
    for (const Volume& volume : m_volumes) m_list.push_back(VolumeText(volume));
    int index = -1;
    for (std::size_t i = 0; i < m_volumes.size(); ++i) {
        if (m_volumes[i].MountPoint == current) index = static_cast<int>(i);
    }
    if (index >= 0) {
        m_listIndex = index;
        NotifyChanged();
        return;
    }
    m_listIndex = -1;  // so that Select sees a change
    Select(0);
}

void DriveListBox::Select(int index) {
    m_listIndex = index;
    NotifyChanged();
    ReportRuntimeErrors(OnChange);
}

}  // namespace quillane
