#include "ui/icon_painter.h"

#include <gtest/gtest.h>

#include <QImage>

namespace verimant {
namespace {

// Bounds of the pixels that are not fully transparent.
QRect paintedBounds(const QImage& image) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

// The menu's icons (16 to 256 pixels) are painted from the window's 32-pixel drawing: a drawing
// that did not follow the size would leave a large icon mostly empty or cut a small one off.
TEST(ApplicationIcon, EverySizeShowsTheWholeDrawingInTheSamePlace) {
    const QRect reference = paintedBounds(paintApplicationIcon(32).toImage());
    ASSERT_FALSE(reference.isEmpty());
    for (const int size : {16, 48, 64, 128, 256}) {
        const QImage image = paintApplicationIcon(size).toImage();
        ASSERT_EQ(image.size(), QSize(size, size));
        const QRect bounds = paintedBounds(image);
        const double scale = size / 32.0;
        // One source pixel of anti-aliasing either way.
        const double slack = scale + 1;
        EXPECT_NEAR(bounds.left(), reference.left() * scale, slack) << size;
        EXPECT_NEAR(bounds.top(), reference.top() * scale, slack) << size;
        EXPECT_NEAR(bounds.right() + 1, (reference.right() + 1) * scale, slack) << size;
        EXPECT_NEAR(bounds.bottom() + 1, (reference.bottom() + 1) * scale, slack) << size;
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << "the corners stay see-through at " << size;
    }
}

}  // namespace
}  // namespace verimant
