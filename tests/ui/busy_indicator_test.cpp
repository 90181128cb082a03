#include "ui/busy_indicator.h"
#include "ui/gear_frames.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <memory>

namespace verimant::test {
namespace {

class BusyIndicatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        mainWindow.setGeometry(100, 50, 401, 301);
        mainWindow.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&mainWindow));
    }

    QWidget mainWindow;
    BusyIndicator busy{&mainWindow};
};

TEST_F(BusyIndicatorTest, PeriodOutsideOneToThousandKeepsThePreviousInterval) {
    struct Step {
        int period;
        int interval;
    };
    // Until a valid period arrives the start-up interval stays.
    const Step steps[] = {{2000, 50},  {-5, 50}, {100, 100},   {2000, 100}, {-5, 100},
                          {1001, 100}, {1, 1},   {1000, 1000}, {100, 100}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.period);
        busy.ShowBusy(step.period);
        EXPECT_TRUE(busy.isVisible());
        EXPECT_TRUE(busy.frameTimer().isActive());
        EXPECT_EQ(busy.frameTimer().interval(), step.interval);
    }
    busy.ShowBusy(0);
    EXPECT_FALSE(busy.isVisible());
    EXPECT_FALSE(busy.frameTimer().isActive());
    EXPECT_EQ(busy.frameTimer().interval(), 100);
}

TEST_F(BusyIndicatorTest, FramesCycleFromTheSecondAndContinueAfterHiding) {
    EXPECT_FALSE(busy.isVisible());
    busy.ShowBusy(100);
    // No picture before the first step.
    EXPECT_EQ(busy.visibleFrame(), -1);
    const int expected[] = {1, 2, 3, 0, 1, 2};
    for (int frame : expected) {
        busy.Timer1Timer();
        EXPECT_EQ(busy.visibleFrame(), frame);
        EXPECT_EQ(busy.frameIndex(), frame);
    }
    // Hiding keeps the last picture inside the window; the next showing goes on from there.
    busy.HideBusy();
    EXPECT_EQ(busy.visibleFrame(), 2);
    busy.ShowBusy(100);
    EXPECT_EQ(busy.visibleFrame(), 2);
    busy.Timer1Timer();
    EXPECT_EQ(busy.visibleFrame(), 3);
    // Exactly one picture is visible at any time after the first step.
    int shown = 0;
    for (int i = 1; i <= 4; ++i) {
        shown += busy.findChild<QWidget*>(QStringLiteral("Image%1").arg(i))->isHidden() ? 0 : 1;
    }
    EXPECT_EQ(shown, 1);
}

TEST_F(BusyIndicatorTest, FollowsTheMainWindowAtTheNextStep) {
    const auto centred = [this] {
        const QRect main = mainWindow.frameGeometry();
        return QPoint(main.left() + main.width() / 2 - 131 / 2,
                      main.top() + main.height() / 2 - 115 / 2);
    };
    busy.ShowBusy(100);
    EXPECT_EQ(busy.frameGeometry().topLeft(), centred());
    mainWindow.setGeometry(300, 200, 600, 500);
    const QPoint before = busy.frameGeometry().topLeft();
    EXPECT_NE(before, centred());
    busy.Timer1Timer();
    EXPECT_EQ(busy.frameGeometry().topLeft(), centred());
}

TEST(GearFrames, WhiteIsSeeThroughAndEachFrameTurnsFurther) {
    QImage previous;
    for (int frame = 0; frame < kGearFrameCount; ++frame) {
        SCOPED_TRACE(frame);
        const QImage picture = paintGearFrame(frame);
        EXPECT_EQ(picture.size(), QSize(79, 81));
        EXPECT_EQ(picture.depth(), 16);
        // White corners and axle hole, brass on the hub ring.
        EXPECT_EQ(picture.pixelColor(0, 0), QColor(Qt::white));
        EXPECT_EQ(picture.pixelColor(39, 40), QColor(Qt::white));
        const QColor hub = picture.pixelColor(39 + 7, 40);
        EXPECT_GT(hub.red(), hub.blue() + 40) << "not brass-coloured";
        if (!previous.isNull()) {
            EXPECT_NE(picture, previous);
        }
        previous = picture;
    }
}

TEST_F(BusyIndicatorTest, OnlyTheGearOfTheVisiblePictureIsPartOfTheWindow) {
    busy.ShowBusy(100);
    busy.Timer1Timer();
    const QRegion shape = busy.mask();
    const QPoint axle(8 + 39, 8 + 40);
    EXPECT_FALSE(shape.contains(QPoint(0, 0)));
    EXPECT_FALSE(shape.contains(axle));
    EXPECT_TRUE(shape.contains(axle + QPoint(7, 0)));
    EXPECT_FALSE(shape.contains(QPoint(120, 100)));
}

}  // namespace
}  // namespace verimant::test
