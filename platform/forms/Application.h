#pragma once
// Services of the running program: its own folder and a way to let the host breathe during a
// long run on the user-interface thread.

#include <functional>
#include <string>

namespace quillane {

// The folder of the running executable (from /proc/self/exe), without a trailing "/" (except
// the root). Falls back to the current working directory when that cannot be read.
std::string AppPath();

// Between pictures of a run: lets the host repaint and answer the window manager. It never
// handles user input, so a click made during a run waits until the run ends. A no-op without
// a host.
void DoEvents();

// The host installs what DoEvents does; an empty hook makes it a no-op. Returns the previous.
std::function<void()> SetDoEventsHook(std::function<void()> hook);

}  // namespace quillane
