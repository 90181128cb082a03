#include "ui/busy_indicator.h"
#include "ui/gear_frames.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

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

    // Where the sign belongs: centred on the main window's frame, halves rounded toward zero.
    QPoint centred() const {
        const QRect main = mainWindow.frameGeometry();
        return {main.left() + main.width() / 2 - 131 / 2, main.top() + main.height() / 2 - 115 / 2};
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
    const Step steps[] = {{2000, 50}, {1, 1}, {1000, 1000}, {1001, 1000}, {-5, 1000}};
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
}

TEST_F(BusyIndicatorTest, FramesCycleFromTheSecondAndContinueAfterHiding) {
    busy.ShowBusy(100);
    // No picture before the first step.
    EXPECT_EQ(busy.visibleFrame(), -1);
    for (int frame : {1, 2, 3, 0, 1, 2}) {
        busy.Timer1Timer();
        EXPECT_EQ(busy.visibleFrame(), frame);
    }
    // Hiding keeps the last picture inside the window; the next showing goes on from there.
    busy.HideBusy();
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
    busy.ShowBusy(100);
    EXPECT_EQ(busy.frameGeometry().topLeft(), centred());
    mainWindow.setGeometry(300, 200, 600, 500);
    busy.Timer1Timer();
    EXPECT_EQ(busy.frameGeometry().topLeft(), centred());
}

TEST(GearFrames, WhiteIsSeeThroughAndEachFrameTurnsFurther) {
    QImage previous;
    for (int frame = 0; frame < kGearFrameCount; ++frame) {
        SCOPED_TRACE(frame);
        const QImage picture = paintGearFrame(frame);
        EXPECT_EQ(picture.depth(), 16);
        // White corners and axle hole, brass on the hub ring.
        EXPECT_EQ(picture.pixelColor(0, 0), QColor(Qt::white));
        EXPECT_EQ(picture.pixelColor(39, 40), QColor(Qt::white));
        const QColor hub = picture.pixelColor(39 + 7, 40);
        EXPECT_GT(hub.red(), hub.blue() + 40) << "not brass-coloured";
        EXPECT_NE(picture, previous);
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
}

}  // namespace
}  // namespace verimant::test
