#include "platform/forms/Control.h"

#include <utility>
#include <vector>

namespace quillane {

Control::Control(ControlKind kind, std::string name, int index, float left, float top, float width,
                 float height, int tabIndex)
    : m_kind(kind),
      m_name(std::move(name)),
      m_index(index),
      m_left(left),
      m_top(top),
      m_width(width),
      m_height(height),
      m_tabIndex(tabIndex) {}

Control::~Control() = default;

void Control::Move(float left, float top, float width, float height) {
    if (m_left == left && m_top == top && m_width == width && m_height == height) return;
    m_left = left;
    m_top = top;
    m_width = width;
    m_height = height;
    NotifyChanged();
}

void Control::SetVisible(bool visible) {
    if (m_visible == visible) return;
    m_visible = visible;
    NotifyChanged();
}

void Control::SetEnabled(bool enabled) {
    if (m_enabled == enabled) return;
    m_enabled = enabled;
    NotifyChanged();
}

void Control::SetFont(FontSpec font) {
    if (m_font == font) return;
    m_font = std::move(font);
    NotifyChanged();
}

int Control::Subscribe(std::function<void()> onChanged) {
    const int token = m_nextToken++;
    m_observers.emplace(token, std::move(onChanged));
    return token;
}

void Control::Unsubscribe(int token) {
    m_observers.erase(token);
}

void Control::NotifyChanged() {
    // An observer may unsubscribe itself (a widget being destroyed), so call a snapshot.
    std::vector<std::function<void()>> observers;
    observers.reserve(m_observers.size());
    for (const auto& [token, observer] : m_observers) observers.push_back(observer);
    for (const auto& observer : observers) {
        if (observer) observer();
    }
}

}  // namespace quillane
