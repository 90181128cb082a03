#include "ui/icon_painter.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace verimant {

namespace {

constexpr int kIconSize = 16;
const QColor kOutlineGrey(128, 128, 128);

// Pen and fill for one part of a motif: in colour the part is filled and edged, as a grey outline
// only its edge is drawn.
class Ink {
public:
    explicit Ink(IconInk ink) : outline_(ink == IconInk::GreyOutline) {}

    void use(QPainter& p, const QColor& fill, const QColor& edge) const {
        p.setPen(QPen(outline_ ? kOutlineGrey : edge, 1.0));
        p.setBrush(outline_ ? QBrush(Qt::NoBrush) : QBrush(fill));
    }
    // Lines that carry detail (text lines, shading) are dropped in the outline form unless asked.
    bool detail() const { return !outline_; }
    bool outline() const { return outline_; }

private:
    bool outline_;
};

void paintDoor(QPainter& p, const Ink& ink) {
    ink.use(p, QColor(96, 96, 96), QColor(40, 40, 40));
    p.drawRect(QRectF(3.5, 1.5, 9, 13));  // frame
    ink.use(p, QColor(160, 90, 40), QColor(90, 45, 15));
    p.drawPolygon(QPolygonF({{4.5, 2.5}, {10.5, 1.0}, {10.5, 15.0}, {4.5, 14.5}}));  // open leaf
    ink.use(p, QColor(250, 210, 60), QColor(150, 110, 0));
    p.drawEllipse(QPointF(9.0, 8.5), 1.0, 1.0);  // knob
}

void paintBook(QPainter& p, const Ink& ink) {
    ink.use(p, QColor(40, 90, 200), QColor(20, 40, 120));
    p.drawPolygon(QPolygonF(
        {{0.5, 4.5}, {8.0, 6.0}, {15.5, 4.5}, {15.5, 14.5}, {8.0, 15.5}, {0.5, 14.5}}));  // cover
    ink.use(p, Qt::white, QColor(60, 60, 60));
    p.drawPolygon(QPolygonF({{1.5, 2.5}, {8.0, 4.0}, {8.0, 14.0}, {1.5, 12.5}}));    // left page
    p.drawPolygon(QPolygonF({{14.5, 2.5}, {8.0, 4.0}, {8.0, 14.0}, {14.5, 12.5}}));  // right page
    if (ink.detail()) {
        p.setPen(QPen(QColor(120, 120, 170), 1.0));
        for (int row = 0; row < 3; ++row) {
            const double y = 6.5 + 2.0 * row;
            p.drawLine(QPointF(3.0, y - 0.5), QPointF(6.5, y + 0.5));
            p.drawLine(QPointF(9.5, y + 0.5), QPointF(13.0, y - 0.5));
        }
    }
}

void paintPencil(QPainter& p, const Ink& ink) {
    // Drawn along the diagonal from the lower left (point) to the upper right (eraser).
    p.save();
    p.translate(8, 8);
    p.rotate(-45);
    ink.use(p, QColor(250, 200, 40), QColor(150, 100, 0));
    p.drawRect(QRectF(-4.5, -2.0, 8.0, 4.0));  // body
    ink.use(p, QColor(235, 190, 140), QColor(140, 90, 40));
    p.drawPolygon(QPolygonF({{-4.5, -2.0}, {-8.0, 0.0}, {-4.5, 2.0}}));  // sharpened wood
    ink.use(p, QColor(40, 40, 40), QColor(40, 40, 40));
    p.drawPolygon(QPolygonF({{-6.6, -0.8}, {-8.0, 0.0}, {-6.6, 0.8}}));  // lead
    ink.use(p, QColor(190, 190, 200), QColor(100, 100, 110));
    p.drawRect(QRectF(3.5, -2.0, 1.5, 4.0));  // ferrule
    ink.use(p, QColor(220, 30, 30), QColor(130, 0, 0));
    p.drawRoundedRect(QRectF(5.0, -2.0, 3.0, 4.0), 1.0, 1.0);  // eraser
    p.restore();
}

void paintGlobe(QPainter& p, const Ink& ink) {
    const QRectF ball(1.5, 1.5, 13, 13);
    ink.use(p, QColor(60, 130, 230), QColor(20, 60, 140));
    p.drawEllipse(ball);
    if (ink.detail()) {
        QPainterPath clip;
        clip.addEllipse(ball);
        p.save();
        p.setClipPath(clip);
        ink.use(p, QColor(70, 170, 60), QColor(30, 110, 30));
        p.drawPolygon(QPolygonF({{3, 4}, {7, 3}, {8, 6}, {6, 8}, {7, 11}, {4, 10}, {2, 7}}));
        p.drawPolygon(QPolygonF({{10, 5}, {13, 6}, {14, 10}, {11, 13}, {10, 9}}));
        p.restore();
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink.outline() ? kOutlineGrey : QColor(230, 240, 255), 0.8));
    p.drawEllipse(QRectF(5.0, 1.5, 6, 13));             // meridian
    p.drawLine(QPointF(1.5, 8.0), QPointF(14.5, 8.0));  // equator
}

void paintFloppyDisk(QPainter& p, const Ink& ink) {
    ink.use(p, QColor(40, 60, 150), QColor(10, 20, 70));
    p.drawPolygon(QPolygonF({{1.5, 1.5}, {13.0, 1.5}, {14.5, 3.0}, {14.5, 14.5}, {1.5, 14.5}}));
    ink.use(p, QColor(200, 200, 210), QColor(90, 90, 100));
    p.drawRect(QRectF(4.5, 1.5, 7, 5));  // shutter
    if (ink.detail()) {
        p.fillRect(QRectF(9.0, 2.5, 1.5, 3), QColor(40, 60, 150));  // shutter window
    }
    ink.use(p, Qt::white, QColor(90, 90, 100));
    p.drawRect(QRectF(3.5, 8.5, 9, 6));  // label
}

void paintRussianFlag(QPainter& p, const Ink& ink) {
    const double top = 2.5;
    const double stripe = 11.0 / 3.0;
    const QColor colours[] = {Qt::white, QColor(0, 57, 166), QColor(213, 43, 30)};
    for (int i = 0; i < 3; ++i) {
        ink.use(p, colours[i], colours[i]);
        p.setPen(Qt::NoPen);
        p.drawRect(QRectF(0.5, top + stripe * i, 15, stripe));
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink.outline() ? kOutlineGrey : QColor(90, 90, 90), 1.0));
    p.drawRect(QRectF(0.5, top, 15, 11));
    if (ink.outline()) {
        p.drawLine(QPointF(0.5, top + stripe), QPointF(15.5, top + stripe));
        p.drawLine(QPointF(0.5, top + 2 * stripe), QPointF(15.5, top + 2 * stripe));
    }
}

void paintBritishFlag(QPainter& p, const Ink& ink) {
    const QRectF field(0.5, 2.5, 15, 11);
    const QColor blue(1, 33, 105);
    const QColor red(200, 16, 46);
    const QColor white = ink.outline() ? kOutlineGrey : QColor(Qt::white);
    ink.use(p, blue, blue);
    p.drawRect(field);
    p.save();
    p.setClipRect(field);
    p.setPen(QPen(white, 3.0));
    p.drawLine(field.topLeft(), field.bottomRight());
    p.drawLine(field.bottomLeft(), field.topRight());
    if (ink.detail()) {
        p.setPen(QPen(red, 1.0));
        p.drawLine(field.topLeft(), field.bottomRight());
        p.drawLine(field.bottomLeft(), field.topRight());
    }
    p.setPen(QPen(white, 4.0));
    p.drawLine(QPointF(8.0, field.top()), QPointF(8.0, field.bottom()));
    p.drawLine(QPointF(field.left(), 8.0), QPointF(field.right(), 8.0));
    if (ink.detail()) {
        p.setPen(QPen(red, 2.0));
        p.drawLine(QPointF(8.0, field.top()), QPointF(8.0, field.bottom()));
        p.drawLine(QPointF(field.left(), 8.0), QPointF(field.right(), 8.0));
    }
    p.restore();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink.outline() ? kOutlineGrey : QColor(60, 60, 60), 1.0));
    p.drawRect(field);
}

}  // namespace

QPixmap paintIcon(IconMotif motif, IconInk ink) {
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const Ink brush(ink);
    switch (motif) {
        case IconMotif::Door:
            paintDoor(p, brush);
            break;
        case IconMotif::Book:
            paintBook(p, brush);
            break;
        case IconMotif::Pencil:
            paintPencil(p, brush);
            break;
        case IconMotif::Globe:
            paintGlobe(p, brush);
            break;
        case IconMotif::FloppyDisk:
            paintFloppyDisk(p, brush);
            break;
        case IconMotif::RussianFlag:
            paintRussianFlag(p, brush);
            break;
        case IconMotif::BritishFlag:
            paintBritishFlag(p, brush);
            break;
    }
    return pixmap;
}

QPixmap paintApplicationIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    // A handheld instrument: dark body, lit display, two keys.
    p.setPen(QPen(QColor(20, 30, 50), 1.5));
    p.setBrush(QColor(50, 70, 110));
    p.drawRoundedRect(QRectF(7, 1.5, 18, 29), 4, 4);
    p.setBrush(QColor(150, 230, 160));
    p.drawRect(QRectF(10, 5, 12, 10));
    p.setPen(QPen(QColor(20, 90, 40), 1.2));
    p.drawPolyline(QPolygonF({{11, 12}, {14, 9}, {16, 11}, {19, 7}, {21, 8}}));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 230, 235));
    p.drawEllipse(QPointF(12.5, 21), 2.2, 2.2);
    p.drawEllipse(QPointF(19.5, 21), 2.2, 2.2);
    return pixmap;
}

QIcon applicationIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64}) {
        icon.addPixmap(paintApplicationIcon(size));
    }
    return icon;
}

}  // namespace verimant
