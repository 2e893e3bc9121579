#pragma once
// The drive list: the mounted volumes, one of them selected. On this platform the "drives" are
// the volumes of Volumes.h; the text "c:" names the system volume "/".

#include <functional>
#include <string>
#include <vector>

#include "platform/forms/Control.h"
#include "platform/forms/Volumes.h"

namespace quillane {

class DriveListBox : public Control {
  public:
    // Reads the volumes and selects the one holding the current working directory.
    DriveListBox(std::string name, float left, float top, float width, float height, int tabIndex);

    // The selected volume's text as listed, e.g. "/ [System]". The folder list accepts it.
    std::string Drive() const;
    // Selects a volume by its listed text, its mount point (a trailing "/" allowed), or "c:"
    // ("C:", "c:\", "c:/") for "/". Raises Device unavailable (68) for a text that names no
    // volume or a volume whose mount point cannot be reached; the selection is then unchanged.
    // Raises OnChange, inside this call, when the selection changed.
    void SetDrive(const std::string& drive);

    // The entries as shown, and the selected one's position in them.
    const std::vector<std::string>& List() const { return m_list; }
    int ListIndex() const { return m_listIndex; }
    const std::vector<Volume>& Volumes() const { return m_volumes; }

    // Reads the mounted volumes again. The selection follows its volume; when that volume is
    // gone, "/" is selected and OnChange is raised.
    void Refresh();

    std::function<void()> OnChange;

  private:
    int FindVolume(const std::string& drive) const;
    void Select(int index);

    std::vector<Volume> m_volumes;
    std::vector<std::string> m_list;
    int m_listIndex = 0;
};

}  // namespace quillane
