#pragma once
// The window program's entry into Qt, kept free of Qt types so the program's main needs none.

namespace quillane {

class Form;

// Shows form as the application's window and runs until the user closes it: creates the Qt
// application ("Quillane", the project's version, its icon), routes message boxes and DoEvents
// to Qt, runs the form's load event, shows the window centred and returns the exit code. Without a
// display it prints one line naming xvfb-run to standard error and returns 1.
int RunWindow(Form& form, int argc, char** argv);

}  // namespace quillane
