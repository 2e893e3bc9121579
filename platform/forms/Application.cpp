#include "platform/forms/Application.h"

#include <unistd.h>

#include <utility>
#include <vector>

#include "platform/forms/FileSystem.h"

namespace quillane {

namespace {

std::function<void()>& DoEventsHook() {
    static std::function<void()> hook;
    return hook;
}

// readlink gives no length up front; grow the buffer until the whole target fits.
std::string ExecutablePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        if (buffer.size() > (1u << 20)) return {};
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::string AppPath() {
    const std::string executable = ExecutablePath();
    const std::size_t slash = executable.rfind('/');
    if (executable.empty() || executable[0] != '/' || slash == std::string::npos) {
        return CurrentDirectory();
    }
    return slash == 0 ? std::string("/") : executable.substr(0, slash);
}

void DoEvents() {
    if (DoEventsHook()) DoEventsHook()();
}

std::function<void()> SetDoEventsHook(std::function<void()> hook) {
    return std::exchange(DoEventsHook(), std::move(hook));
}

}  // namespace quillane
