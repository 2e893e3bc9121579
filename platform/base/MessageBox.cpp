#include "platform/base/MessageBox.h"

#include <cstdio>
#include <utility>

namespace quillane {

namespace {
MessageBoxPresenter& CurrentPresenter() {
    static MessageBoxPresenter presenter;
    return presenter;
}
}  // namespace

MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter) {
    return std::exchange(CurrentPresenter(), std::move(presenter));
}

std::string FormatMessageLine(const MessageBoxRequest& request) {
    std::string line = request.Title;
    line += (request.Style & vbExclamation) == vbExclamation ? " (warning): " : ": ";
    line += request.Prompt;
    return line;
}

void MsgBox(const std::string& prompt, int style, const std::string& title) {
    MessageBoxRequest request{prompt, style, title.empty() ? kApplicationTitle : title};
    if (CurrentPresenter()) {
        CurrentPresenter()(request);
        return;
    }
    std::fprintf(stderr, "%s\n", FormatMessageLine(request).c_str());
}

}  // namespace quillane
