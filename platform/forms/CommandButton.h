#pragma once
// A push button. Click() is what a press does: it raises OnClick once.

#include <functional>
#include <string>

#include "platform/forms/Control.h"

namespace quillane {

class CommandButton : public Control {
  public:
    CommandButton(std::string name, float left, float top, float width, float height, int tabIndex,
                  std::string caption);

    std::string Caption;
    // The window's default button (pressed by Enter) and cancel button (pressed by Esc).
    bool Default = false;
    bool Cancel = false;
    std::function<void()> OnClick;

    // Raises OnClick once, through the event edge (ReportRuntimeErrors).
    void Click();
};

}  // namespace quillane
