#include "platform/qtview/FallbackFont.h"

#include <QFontDatabase>
#include <QLabel>
#include <algorithm>

#include "platform/qtview/BlankWrapLabel.h"

namespace quillane {

namespace {

// The window font's size, the largest tried, and the smallest at which Chinese text is still
// legible; below it the window keeps the font it was drawn with.
constexpr int kLayoutPixels = 12;
constexpr int kSmallestPixels = 8;

// The CJK faces Debian offers in place of a Song face, the Song-like one first.
const QStringList& knownStandIns() {
    static const QStringList faces = {
        QStringLiteral("Noto Serif CJK SC"),
        QStringLiteral("Noto Sans CJK SC"),
        QStringLiteral("Droid Sans Fallback"),
    };
    return faces;
}

// The installed faces that may stand in, best first: the known ones, else any face that
// writes Simplified Chinese.
QStringList installedStandIns() {
    const QStringList installed = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    QStringList faces;
    for (const QString& face : knownStandIns()) {
        if (installed.contains(face, Qt::CaseInsensitive)) faces << face;
    }
    if (faces.isEmpty() && !installed.isEmpty()) faces << installed.front();
    return faces;
}

// Whether the text of every visible label of window, laid out as the label lays it out (its
// font, alignment and wrapping), fits inside the label's box.
bool labelsFit(const QWidget& window) {
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (label->isHidden()) continue;
        const QRect box = label->contentsRect();
        const auto* blankWrap = dynamic_cast<const BlankWrapLabel*>(label);
        const QString shown = blankWrap ? blankWrap->wrappedText(box.width()) : label->text();
        const int flags = static_cast<int>(label->alignment()) |
                          (label->wordWrap() && !blankWrap ? Qt::TextWordWrap : 0);
        if (!box.contains(label->fontMetrics().boundingRect(box, flags, shown))) {
            return false;
        }
    }
    return true;
}

}  // namespace

const QStringList& songFaces() {
    static const QStringList faces = {
        QStringLiteral("宋体"),           QStringLiteral("SimSun"),
        QStringLiteral("NSimSun"),        QStringLiteral("AR PL UMing CN"),
        QStringLiteral("AR PL UMing TW"), QStringLiteral("AR PL SungtiL GB"),
    };
    return faces;
}

bool songFaceInstalled() {
    const QStringList installed = QFontDatabase::families();
    return std::any_of(songFaces().begin(), songFaces().end(), [&](const QString& face) {
        return installed.contains(face, Qt::CaseInsensitive);
    });
}

void fitFontWithoutSongFace(QWidget& window) {
    if (songFaceInstalled()) return;
    const QFont drawn = window.font();
    QFont best = drawn;
    int bestPixels = 0;
    for (const QString& face : installedStandIns()) {
        QFont font = drawn;
        font.setFamilies({face});
        // A later face is tried only at sizes larger than the best so far.
        for (int pixels = kLayoutPixels; pixels > bestPixels && pixels >= kSmallestPixels;
             --pixels) {
            font.setPixelSize(pixels);
            window.setFont(font);
            if (labelsFit(window)) {
                best = font;
                bestPixels = pixels;
                break;
            }
        }
    }
    window.setFont(best);
}

}  // namespace quillane
