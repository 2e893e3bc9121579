#pragma once
// The base of every control of the forms runtime. Controls are plain objects: the window's
// code reads and writes their properties, and a view (the Qt widgets, or nothing in tests and
// the batch command) subscribes to learn when something changed and redraws.

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace quillane {

// A font given to a control explicitly. Points may be fractional (10.5); Charset is the
// character-set number the window's design stores (134 = GB2312).
struct FontSpec {
    std::string Face;
    float Points = 0;
    int Charset = 0;
    int Weight = 400;  // 400 normal, 700 bold
    bool Italic = false;
    bool Underline = false;
    bool Strikethrough = false;

    bool operator==(const FontSpec&) const = default;
};

enum class ControlKind {
    Label,
    TextBox,
    CommandButton,
    DriveListBox,
    DirListBox,
    ProgressBar,
    PictureBox,
};

// Index of a control that is not an element of a control array.
inline constexpr int kNoControlIndex = -1;

class Control {
  public:
    // Positions and sizes are pixels of the window's client area, single precision as the
    // window's design stores them.
    Control(ControlKind kind, std::string name, int index, float left, float top, float width,
            float height, int tabIndex);
    virtual ~Control();

    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    ControlKind Kind() const { return m_kind; }
    const std::string& Name() const { return m_name; }
    // The element's index in its control array, kNoControlIndex for a single control.
    int Index() const { return m_index; }

    float Left() const { return m_left; }
    float Top() const { return m_top; }
    float Width() const { return m_width; }
    float Height() const { return m_height; }
    // Places the control; observers are told.
    void Move(float left, float top, float width, float height);

    int TabIndex() const { return m_tabIndex; }

    bool Visible() const { return m_visible; }
    void SetVisible(bool visible);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);

    // No value: the control uses the window's font.
    const std::optional<FontSpec>& Font() const { return m_font; }
    void SetFont(FontSpec font);

    // Observers (the view) are called after any property of this control changed. The token
    // returned removes the observer again.
    int Subscribe(std::function<void()> onChanged);
    void Unsubscribe(int token);

  protected:
    void NotifyChanged();

  private:
    ControlKind m_kind;
    std::string m_name;
    int m_index;
    float m_left;
    float m_top;
    float m_width;
    float m_height;
    int m_tabIndex;
    bool m_visible = true;
    bool m_enabled = true;
    std::optional<FontSpec> m_font;
    std::map<int, std::function<void()>> m_observers;
    int m_nextToken = 1;
};

}  // namespace quillane
