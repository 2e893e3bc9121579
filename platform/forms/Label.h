#pragma once
// A label: a caption the user cannot edit. A self-sizing label keeps its left and top edges and
// takes the size of its text whenever the caption changes.

#include <string>
#include <string_view>

#include "platform/forms/Control.h"

namespace quillane {

// The size a caption takes in the window's font as the window's layout assumes it: 12 pixels
// for each non-ASCII (CJK) character, 6 pixels for each ASCII character, 12 pixels a line.
// Lines are separated by "\n" (a "\r" before it is ignored); the width is the widest line.
struct TextExtent {
    float Width = 0;
    float Height = 0;
};
TextExtent MeasureCaption(std::string_view caption);

class Label : public Control {
  public:
    Label(std::string name, int index, float left, float top, float width, float height,
          int tabIndex, std::string caption, bool autoSize, bool wordWrap = false);

    const std::string& Caption() const { return m_caption; }
    // Shows the text; a self-sizing label then takes the text's size (MeasureCaption).
    void SetCaption(std::string caption);

    bool AutoSize() const { return m_autoSize; }
    // A fixed box whose text breaks into lines at its width (the view does the breaking).
    bool WordWrap() const { return m_wordWrap; }

  private:
    void FitToCaption();

    std::string m_caption;
    bool m_autoSize;
    bool m_wordWrap;
};

}  // namespace quillane
