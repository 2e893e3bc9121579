// The controls without behaviour of their own beyond a property or two.
#include <cmath>
#include <utility>

#include "platform/forms/CommandButton.h"
#include "platform/forms/Events.h"
#include "platform/forms/ProgressBar.h"
#include "platform/forms/TextBox.h"

namespace quillane {

TextBox::TextBox(std::string name, float left, float top, float width, float height, int tabIndex,
                 std::string text)
    : Control(ControlKind::TextBox, std::move(name), kNoControlIndex, left, top, width, height,
              tabIndex),
      m_text(std::move(text)) {}

void TextBox::SetText(std::string text) {
    if (m_text == text) return;
    m_text = std::move(text);
    NotifyChanged();
}

CommandButton::CommandButton(std::string name, float left, float top, float width, float height,
                             int tabIndex, std::string caption)
    : Control(ControlKind::CommandButton, std::move(name), kNoControlIndex, left, top, width,
              height, tabIndex),
      Caption(std::move(caption)) {}

void CommandButton::Click() {
    ReportRuntimeErrors(OnClick);
}

ProgressBar::ProgressBar(std::string name, float left, float top, float width, float height,
                         int tabIndex, float min, float max)
    : Control(ControlKind::ProgressBar, std::move(name), kNoControlIndex, left, top, width, height,
              tabIndex),
      m_min(min),
      m_max(max),
      m_value(min) {}

void ProgressBar::SetValue(float value) {
    float shown = value;
    if (std::isnan(shown) || shown < m_min) shown = m_min;
    if (shown > m_max) shown = m_max;
    if (shown == m_value) return;
    m_value = shown;
    NotifyChanged();
}

}  // namespace quillane
