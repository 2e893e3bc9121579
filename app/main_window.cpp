// The window program: Quillane's main window, and nothing else. Closing it ends the program.

#include "app/FormMain.h"
#include "platform/base/MemoryTuning.h"
#include "platform/qtview/RunWindow.h"

int main(int argc, char** argv) {
    quillane::ReturnLargeBuffersToTheSystem();
    quillane::FormMain form;
    return quillane::RunWindow(form, argc, argv);
}
