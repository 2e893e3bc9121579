#pragma once
// A one-line, left-aligned, editable text field without a length limit.

#include <string>

#include "platform/forms/Control.h"

namespace quillane {

class TextBox : public Control {
  public:
    TextBox(std::string name, float left, float top, float width, float height, int tabIndex,
            std::string text);

    const std::string& Text() const { return m_text; }
    // Set by the program or by the view when the user types; the window handles no change
    // event of its text boxes, so none is raised.
    void SetText(std::string text);

  private:
    std::string m_text;
};

}  // namespace quillane
