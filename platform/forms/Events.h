#pragma once
// The edge at which events enter the window's code. A handler without an error trap lets a
// run-time error pass to its caller; at the edge the error is shown in a message box instead
// of ending the program, and the window stays usable.

#include <functional>

namespace quillane {

// Runs an event handler (or a user's action on a control, such as picking a folder) and shows
// any run-time error that leaves it: its description, exclamation icon, the application's
// title. Returns false when an error was shown. An empty handler does nothing.
bool ReportRuntimeErrors(const std::function<void()>& handler);

}  // namespace quillane
