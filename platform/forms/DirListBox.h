#pragma once
// The folder list: the current folder's ancestors from the root down, the current folder, then
// its sub-folders sorted by name. Picking an entry sets the path.

#include <functional>
#include <string>
#include <vector>

#include "platform/forms/Control.h"

namespace quillane {

class DirListBox : public Control {
  public:
    // Starts in the current working directory ("/" when that cannot be read).
    DirListBox(std::string name, float left, float top, float width, float height, int tabIndex);

    // Absolute, without a trailing "/" except the root "/".
    const std::string& Path() const { return m_path; }
    // Accepts an absolute path with or without a trailing "/", a path relative to the current
    // one, and a drive list's text ("/ [System]", "c:"). Raises Path not found (76) for a
    // folder that does not exist or is not a folder, Path/File access error (75) when it
    // cannot be reached; the path is then unchanged. Raises OnChange, inside this call, when
    // the path changed.
    void SetPath(const std::string& path);

    struct Entry {
        std::string Name;      // what the list shows: "/" for the root, else the bare name
        std::string FullPath;  // what SetPath takes to open it
        int Level = 0;         // 0 for the root, one more per folder below it
        bool IsCurrent = false;
    };
    const std::vector<Entry>& Entries() const { return m_entries; }
    // Position of the current folder in Entries().
    int CurrentEntry() const { return m_currentEntry; }

    // Reads the current folder's sub-folders again.
    void Refresh();

    std::function<void()> OnChange;

  private:
    void BuildEntries();

    std::string m_path;
    std::vector<Entry> m_entries;
    int m_currentEntry = 0;
};

}  // namespace quillane
