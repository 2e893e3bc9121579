#include "platform/qtview/BlankWrapLabel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRegularExpression>
#include <QStringList>
#include <QStyle>

namespace quillane {

QString BlankWrapLabel::wrappedText(int width) const {
    static const QRegularExpression blanksAndWord(QStringLiteral(" *[^ ]+"));
    const QFontMetrics metrics = fontMetrics();
    QStringList lines;
    for (const QString& paragraph : text().split(QLatin1Char('\n'))) {
        QString line;
        // Each word with the blanks before it, so two blanks inside a line stay two.
        for (const auto& match : blanksAndWord.globalMatch(paragraph)) {
            const QString word = match.captured();
            if (line.isEmpty()) {
                line = word.trimmed();
            } else if (metrics.horizontalAdvance(line + word) <= width) {
                line += word;
            } else {
                lines << line;
                line = word.trimmed();
            }
        }
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

int BlankWrapLabel::heightForWidth(int width) const {
    return fontMetrics()
        .boundingRect(QRect(0, 0, width, 0), Qt::AlignLeft, wrappedText(width))
        .height();
}

void BlankWrapLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect box = contentsRect();
    style()->drawItemText(&painter, box, QStyle::visualAlignment(layoutDirection(), alignment()),
                          palette(), isEnabled(), wrappedText(box.width()), foregroundRole());
}

}  // namespace quillane
