#include "platform/qtview/QtHost.h"

#include <QApplication>
#include <QEventLoop>
#include <QStringList>
#include <QWidget>
#include <algorithm>
#include <utility>

#include "platform/forms/Application.h"
#include "platform/qtview/FallbackFont.h"

namespace quillane {

namespace {

// Message-box icon bits: the low nibble picks the buttons, the next one the icon.
constexpr int kIconMask = 0x70;
constexpr int kCritical = 16;
constexpr int kQuestion = 32;
constexpr int kInformation = 64;

constexpr int kWindowFontPixels = 12;

// The Song faces, then the Noto CJK faces, whose taller lines suit the lists (their rows grow
// with the font), so fontconfig's fallback to a sans face with other metrics comes last.
const QStringList& songThenNotoFaces() {
    static const QStringList faces = songFaces() + QStringList{QStringLiteral("Noto Serif CJK SC"),
                                                               QStringLiteral("Noto Sans CJK SC")};
    return faces;
}

bool isSongFace(const std::string& face) {
    const QString name = QString::fromStdString(face).trimmed();
    return name.compare(QStringLiteral("宋体")) == 0 ||
           name.compare(QStringLiteral("SimSun"), Qt::CaseInsensitive) == 0;
}

}  // namespace

QFont fontFor(const FontSpec& given) {
    QFont font;
    if (isSongFace(given.Face)) {
        font.setFamilies(songThenNotoFaces());
    } else {
        font.setFamilies({QString::fromStdString(given.Face)});
    }
    if (given.Points > 0) font.setPointSizeF(given.Points);
    font.setWeight(static_cast<QFont::Weight>(std::clamp(given.Weight, 100, 900)));
    font.setItalic(given.Italic);
    font.setUnderline(given.Underline);
    font.setStrikeOut(given.Strikethrough);
    return font;
}

QFont windowFont() {
    QFont font;
    font.setFamilies(songThenNotoFaces());
    font.setPixelSize(kWindowFontPixels);
    return font;
}

MessageBoxLook messageBoxLook(const MessageBoxRequest& request) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (request.Style & kIconMask) {
        case kCritical:
            icon = QMessageBox::Critical;
            break;
        case kQuestion:
            icon = QMessageBox::Question;
            break;
        case vbExclamation:
            icon = QMessageBox::Warning;
            break;
        case kInformation:
            icon = QMessageBox::Information;
            break;
        default:
            break;
    }
    const std::string& title =
        request.Title.empty() ? std::string(kApplicationTitle) : request.Title;
    return {icon, QString::fromStdString(title), QString::fromStdString(request.Prompt),
            QMessageBox::Ok};
}

QtHost::QtHost(QWidget* parent) : m_parent(parent) {
    m_previousPresenter = SetMessageBoxPresenter([this](const MessageBoxRequest& request) {
        const MessageBoxLook look = messageBoxLook(request);
        QMessageBox box(look.icon, look.title, look.text, look.buttons, m_parent.data());
        // Plain text: a file name such as "<b>.jpg" is shown as it is, never as markup.
        box.setTextFormat(Qt::PlainText);
        box.exec();
    });
    // Repaint and answer the window manager during a run, but leave clicks and keys queued
    // until the run is over, as the window's single thread of control expects.
    m_previousHook = SetDoEventsHook(
        [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
}

QtHost::~QtHost() {
    SetMessageBoxPresenter(std::move(m_previousPresenter));
    SetDoEventsHook(std::move(m_previousHook));
}

}  // namespace quillane
