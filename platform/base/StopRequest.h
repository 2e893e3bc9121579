#pragma once
// A request from outside that the run in progress end at its next break, after the picture
// being written: the window closed during a run, or an interrupt or termination signal sent to
// the batch command. The run checks it between pictures; nothing is cut off halfway.

namespace quillane {

// Asks the run to stop. Safe from any thread and from a signal handler.
void RequestStop();
bool StopRequested();
// Withdraws the request once whoever made it no longer needs it.
void ClearStopRequest();

// From now on SIGINT and SIGTERM ask the run to stop instead of ending the program at once;
// a second one of the same kind ends it at once as usual (an unnamed file being written then
// vanishes with the process).
void StopOnInterruptAndTerminate();

// The signal that asked for the stop (its number, with its name such as "SIGINT"), 0 and ""
// when none did.
int StopSignal();
const char* StopSignalName();

}  // namespace quillane
