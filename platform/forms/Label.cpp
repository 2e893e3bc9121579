#include "platform/forms/Label.h"

#include <algorithm>
#include <utility>

namespace quillane {

namespace {
constexpr float kAsciiWidth = 6;   // pixels of a Latin letter or digit
constexpr float kWideWidth = 12;   // pixels of a CJK (non-ASCII) character
constexpr float kLineHeight = 12;  // pixels of a line
}  // namespace

TextExtent MeasureCaption(std::string_view caption) {
    float widest = 0;
    float line = 0;
    int lines = 1;
    for (unsigned char byte : caption) {
        if (byte == '\n') {
            widest = std::max(widest, line);
            line = 0;
            ++lines;
        } else if (byte == '\r') {
            continue;
        } else if (byte < 0x80) {
            line += kAsciiWidth;
        } else if ((byte & 0xC0) != 0x80) {
            // A UTF-8 lead byte starts one character; continuation bytes add nothing.
            line += kWideWidth;
        }
    }
    widest = std::max(widest, line);
    return {widest, static_cast<float>(lines) * kLineHeight};
}

Label::Label(std::string name, int index, float left, float top, float width, float height,
             int tabIndex, std::string caption, bool autoSize, bool wordWrap)
    : Control(ControlKind::Label, std::move(name), index, left, top, width, height, tabIndex),
      m_caption(std::move(caption)),
      m_autoSize(autoSize),
      m_wordWrap(wordWrap) {}

void Label::SetCaption(std::string caption) {
    m_caption = std::move(caption);
    if (m_autoSize) {
        FitToCaption();  // notifies when the size changes
    }
    NotifyChanged();
}

void Label::FitToCaption() {
    const TextExtent extent = MeasureCaption(m_caption);
    Move(Left(), Top(), extent.Width, extent.Height);
}

}  // namespace quillane
