#pragma once
// What the forms runtime asks of its host, done with Qt: fonts, modal message boxes and the
// DoEvents breathing space of a long run.

#include <QFont>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <functional>

#include "platform/base/MessageBox.h"
#include "platform/forms/Control.h"

namespace quillane {

// The Qt font for a control's explicit font. The face "宋体" (and "SimSun") is looked for
// under the names Song faces carry on Linux, so fontconfig's fallback to a sans face with
// other metrics is the last resort rather than the first.
QFont fontFor(const FontSpec& given);

// The window's own font: a Song face at 12 pixels, the glyph size the window's fixed layout
// was drawn for (12 pixels a Chinese character, 6 a Latin letter or digit). Without a Song
// face the window takes another CJK face at a size its labels fit (FallbackFont.h).
QFont windowFont();

// How a message box request looks on screen.
struct MessageBoxLook {
    QMessageBox::Icon icon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
};
MessageBoxLook messageBoxLook(const MessageBoxRequest& request);

// Routes MsgBox to modal Qt message boxes over parent (which may go away; the boxes then have
// no parent) and DoEvents to Qt's event loop without user input, for as long as it lives;
// restores the previous presenter and hook when destroyed.
class QtHost {
  public:
    explicit QtHost(QWidget* parent);
    ~QtHost();

    QtHost(const QtHost&) = delete;
    QtHost& operator=(const QtHost&) = delete;

  private:
    QPointer<QWidget> m_parent;
    MessageBoxPresenter m_previousPresenter;
    std::function<void()> m_previousHook;
};

}  // namespace quillane
