#include "ui/gear_frames.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <numbers>

namespace verimant {

namespace {

constexpr int kTeeth = 10;
constexpr double kOuterRadius = 37.0;
constexpr double kRootRadius = 29.5;
constexpr double kWebRadius = 23.0;
constexpr double kHubRadius = 10.0;
constexpr double kAxleRadius = 5.0;
constexpr int kWebHoles = 5;

const QColor kBrassLight(0xF2, 0xD8, 0x8A);
const QColor kBrass(0xC9, 0xA2, 0x3F);
const QColor kBrassDark(0x7A, 0x5A, 0x1A);
const QColor kOutline(0x4E, 0x38, 0x0E);

double radians(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}

QPointF polar(double radius, double degrees) {
    return {radius * std::cos(radians(degrees)), radius * std::sin(radians(degrees))};
}

// The toothed rim: each tooth a trapezoid whose tip is narrower than its root.
QPainterPath gearOutline(double turnDegrees) {
    const double pitch = 360.0 / kTeeth;
    QPainterPath path;
    for (int tooth = 0; tooth < kTeeth; ++tooth) {
        const double a = turnDegrees + tooth * pitch;
        const QPointF points[] = {polar(kRootRadius, a), polar(kOuterRadius, a + pitch * 0.12),
                                  polar(kOuterRadius, a + pitch * 0.38),
                                  polar(kRootRadius, a + pitch * 0.5)};
        for (const QPointF& point : points) {
            if (path.isEmpty()) {
                path.moveTo(point);
            } else {
                path.lineTo(point);
            }
        }
        path.arcTo(QRectF(-kRootRadius, -kRootRadius, 2 * kRootRadius, 2 * kRootRadius),
                   -(a + pitch * 0.5), -pitch * 0.5);
    }
    path.closeSubpath();
    return path;
}

// Holes through the web between hub and rim, and the axle hole: they show what lies beneath.
QPainterPath gearHoles(double turnDegrees) {
    QPainterPath holes;
    holes.addEllipse(QPointF(0, 0), kAxleRadius, kAxleRadius);
    const double holeRadius = (kWebRadius - kHubRadius) / 2.0 - 1.0;
    const double holeCentre = (kWebRadius + kHubRadius) / 2.0;
    for (int hole = 0; hole < kWebHoles; ++hole) {
        holes.addEllipse(polar(holeCentre, turnDegrees + hole * 360.0 / kWebHoles), holeRadius,
                         holeRadius);
    }
    return holes;
}

// Anti-aliased edges blend towards the white background; a pixel that ends up almost white would
// show as a pale speck instead of being see-through.
void snapNearWhite(QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() >= 0xF0 && c.green() >= 0xF0 && c.blue() >= 0xF0) {
                image.setPixelColor(x, y, Qt::white);
            }
        }
    }
}

}  // namespace

QImage paintGearFrame(int frame) {
    QImage image(kGearFrameWidth, kGearFrameHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    const double turn = frame * (360.0 / kTeeth) / kGearFrameCount;

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(kGearFrameWidth / 2.0, kGearFrameHeight / 2.0);

    const QPainterPath body = gearOutline(turn).subtracted(gearHoles(turn));
    // Light from the upper left, fixed while the gear turns.
    QRadialGradient brass(QPointF(-12, -14), kOuterRadius * 1.6);
    brass.setColorAt(0.0, kBrassLight);
    brass.setColorAt(0.45, kBrass);
    brass.setColorAt(1.0, kBrassDark);
    painter.setPen(QPen(kOutline, 1.2));
    painter.setBrush(brass);
    painter.drawPath(body);

    // The raised hub and the rim's inner edge.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kBrassDark, 1.5));
    painter.drawEllipse(QPointF(0, 0), kWebRadius, kWebRadius);
    painter.drawEllipse(QPointF(0, 0), kHubRadius, kHubRadius);
    painter.end();

    snapNearWhite(image);
    // The pictures are 16-bit colour; white stays exactly white in that depth.
    return image.convertToFormat(QImage::Format_RGB16);
}

}  // namespace verimant
