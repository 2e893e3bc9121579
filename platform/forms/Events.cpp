#include "platform/forms/Events.h"

#include <exception>
#include <new>

#include "platform/base/MessageBox.h"
#include "platform/base/RuntimeError.h"

namespace quillane {

bool ReportRuntimeErrors(const std::function<void()>& handler) {
    if (!handler) return true;
    try {
        handler();
        return true;
    } catch (const RuntimeError& error) {
        MsgBox(error.Description(), vbExclamation);
    } catch (const std::bad_alloc&) {
        MsgBox(StandardDescription(ErrorNumber::OutOfMemory), vbExclamation);
    } catch (const std::exception& error) {
        // Not a run-time error of the design, but ending the program over it would lose the
        // user's window; show it like one.
        MsgBox(error.what(), vbExclamation);
    }
    return false;
}

}  // namespace quillane
