#pragma once
// Real temporary folders filled with the kinds of entries a folder may hold, a recorder for
// message boxes, and a fixed list of volumes, for the forms and window tests.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/base/MessageBox.h"
#include "platform/base/RuntimeError.h"
#include "platform/forms/CommandButton.h"
#include "platform/forms/Label.h"
#include "platform/forms/TextBox.h"
#include "platform/forms/Volumes.h"

namespace quillane::testing {

// Whether files in folder can be created unnamed (O_TMPFILE); not every file system can.
inline bool UnnamedFilesWork(const std::string& folder) {
    const int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (fd >= 0) close(fd);
    return fd >= 0;
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillane-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
        m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return m_path; }
    std::string Path(const std::string& name) const { return *this / name; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

    // Every entry of the folder, hidden ones included.
    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_path))
            names.insert(entry.path().filename().native());
        return names;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(*this / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    void File(const std::string& name, const std::string& content = "x") const {
        std::ofstream(*this / name, std::ios::binary) << content;
    }
    void Folder(const std::string& name) const {
        std::filesystem::create_directories(*this / name);
    }
    void Link(const std::string& name, const std::string& target) const {
        ASSERT_EQ(symlink(target.c_str(), (*this / name).c_str()), 0) << name;
    }
    void Fifo(const std::string& name) const {
        ASSERT_EQ(mkfifo((*this / name).c_str(), 0600), 0) << name;
    }
    // A listening-less socket bound to the name; the descriptor is closed, the entry stays.
    void Socket(const std::string& name) const {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string full = *this / name;
        ASSERT_LT(full.size(), sizeof(address.sun_path));
        std::memcpy(address.sun_path, full.c_str(), full.size() + 1);
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0) << full;
        close(fd);
    }

  private:
    std::string m_path;
};

// Puts a process-wide hook in place for the life of the object, then the one it replaced.
template <class Hook, Hook (*Set)(Hook)>
class ScopedHook {
  public:
    explicit ScopedHook(Hook hook) : m_previous(Set(std::move(hook))) {}
    ~ScopedHook() { Set(m_previous); }
    ScopedHook(const ScopedHook&) = delete;
    ScopedHook& operator=(const ScopedHook&) = delete;

  private:
    Hook m_previous;
};

// Records message boxes instead of showing them.
struct MessageRecorder : ScopedHook<MessageBoxPresenter, SetMessageBoxPresenter> {
    MessageRecorder()
        : ScopedHook([this](const MessageBoxRequest& request) { Messages.push_back(request); }) {}
    std::vector<MessageBoxRequest> Messages;
};

// Makes the drive lists see a fixed set of volumes.
struct FixedVolumes : ScopedHook<VolumeProvider, SetVolumeProvider> {
    explicit FixedVolumes(std::vector<Volume> volumes)
        : ScopedHook([volumes] { return volumes; }) {}
};

// The number of the run-time error the action raises, 0 when it raises none.
inline int ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const RuntimeError& error) {
        return error.NumberValue();
    }
    return 0;
}

// The text a label, field or button shows; empty for other controls.
inline std::string TextOf(const Control& c) {
    if (c.Kind() == ControlKind::Label) return static_cast<const Label&>(c).Caption();
    if (c.Kind() == ControlKind::TextBox) return static_cast<const TextBox&>(c).Text();
    if (c.Kind() == ControlKind::CommandButton) return static_cast<const CommandButton&>(c).Caption;
    return {};
}

}  // namespace quillane::testing
