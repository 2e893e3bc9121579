#include "platform/qtview/IconArt.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <algorithm>

namespace quillane {

namespace {

constexpr qreal kDesignUnits = 128.0;  // the drawing is laid out on a 128 x 128 grid

void drawShadow(QPainter& painter, const QRectF& frame) {
    // A few widening, fading rounded rectangles give a soft drop shadow, which is what makes
    // the 32-bit images' alpha graded rather than on/off.
    for (int step = 4; step >= 1; --step) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 22));
        painter.drawRoundedRect(frame.translated(3, 4).adjusted(-step, -step, step, step),
                                10 + step, 10 + step);
    }
}

void drawPhoto(QPainter& painter, const QRectF& frame) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2f, 0x48, 0x58));
    painter.drawRoundedRect(frame, 10, 10);

    const QRectF photo = frame.adjusted(8, 8, -8, -8);
    QLinearGradient sky(photo.topLeft(), photo.bottomLeft());
    sky.setColorAt(0.0, QColor(0x5d, 0xb4, 0xe8));
    sky.setColorAt(1.0, QColor(0xd8, 0xf1, 0xff));
    painter.setBrush(sky);
    painter.drawRect(photo);

    painter.save();
    painter.setClipRect(photo);
    painter.setBrush(QColor(0xff, 0xc8, 0x3a));
    painter.drawEllipse(QPointF(photo.right() - 20, photo.top() + 16), 9, 9);

    const qreal ground = photo.bottom();
    painter.setBrush(QColor(0x3f, 0x9e, 0x4d));
    painter.drawPolygon(
        QPolygonF({QPointF(photo.left(), ground), QPointF(photo.left() + 26, photo.top() + 26),
                   QPointF(photo.left() + 52, ground)}));
    painter.setBrush(QColor(0x2a, 0x73, 0x38));
    painter.drawPolygon(
        QPolygonF({QPointF(photo.left() + 24, ground), QPointF(photo.left() + 56, photo.top() + 38),
                   QPointF(photo.right() + 4, ground)}));
    painter.restore();
}

void drawResizeArrow(QPainter& painter) {
    // A bold arrow leaving the photo's corner towards the bottom right: "make it this size".
    QPainterPath arrow;
    const QPointF tail(66, 66);
    const QPointF tip(116, 116);
    arrow.moveTo(tail);
    arrow.lineTo(tip);

    QPainterPath head;
    head.moveTo(tip);
    head.lineTo(tip.x() - 30, tip.y());
    head.lineTo(tip.x(), tip.y() - 30);
    head.closeSubpath();

    // White outline first, so the arrow reads on the dark frame and on any desktop.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 20, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(arrow);
    painter.setPen(QPen(Qt::white, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::white);
    painter.drawPath(head);

    const QColor orange(0xf2, 0x6b, 0x1d);
    painter.setPen(QPen(orange, 11, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    painter.drawLine(tail, tip - QPointF(10, 10));
    painter.setPen(QPen(orange, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(orange);
    painter.drawPath(head);
}

}  // namespace

QImage renderQuillaneIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / kDesignUnits, size / kDesignUnits);
        const QRectF frame(6, 14, 96, 84);
        drawShadow(painter, frame);
        drawPhoto(painter, frame);
        drawResizeArrow(painter);
    }
    return image.convertToFormat(QImage::Format_ARGB32);
}

const std::vector<IconImageSpec>& quillaneIconTable() {
    static const std::vector<IconImageSpec> table = {
        {16, 8}, {16, 32}, {24, 8},  {24, 32}, {32, 8},  {32, 32},
        {48, 8}, {48, 32}, {64, 32}, {72, 32}, {96, 32}, {128, 32},
    };
    return table;
}

std::vector<int> quillaneIconSizes() {
    std::vector<int> sizes;
    for (const IconImageSpec& image : quillaneIconTable()) {
        if (std::find(sizes.begin(), sizes.end(), image.size) == sizes.end())
            sizes.push_back(image.size);
    }
    return sizes;
}

QIcon quillaneIcon() {
    QIcon icon;
    for (int size : quillaneIconSizes())
        icon.addPixmap(QPixmap::fromImage(renderQuillaneIcon(size)));
    return icon;
}

}  // namespace quillane
