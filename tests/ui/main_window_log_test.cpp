#include "tests/ui/window_fixture.h"

#include "base/log_banner.h"
#include "ui/image_list.h"
#include "ui/memo_log.h"

#include <QGroupBox>
#include <QMouseEvent>
#include <QSplitter>
#include <QSplitterHandle>

namespace verimant::test {
namespace {

class LogPaneTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        window->FormCreate();
        // What start-up logged without an update server is not what these cases look at.
        window->activityLog().clear();
        showWindow();
    }

    QWidget* workArea() const { return widget("Panel_Main"); }
    QGroupBox* logGroup() const { return widget<QGroupBox>("GroupBox_Log"); }
    QSplitterHandle* handle() const { return widget<QSplitterHandle>("Splitter_Log"); }

    // Drags the splitter handle by `dx` pixels, as the mouse does.
    void dragHandle(int dx) {
        QSplitterHandle* h = handle();
        const QPoint start(h->width() / 2, h->height() / 2);
        const QPoint end = start + QPoint(dx, 0);
        QMouseEvent press(QEvent::MouseButtonPress, start, h->mapToGlobal(start), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(h, &press);
        QMouseEvent move(QEvent::MouseMove, end, h->mapToGlobal(end), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(h, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, end, h->mapToGlobal(end), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(h, &release);
        QApplication::processEvents();
    }
};

TEST_F(LogPaneTest, StartsHiddenAndToggleNamesWhatAClickWillDo) {
    QAction* toggle = action("Action_Log_Visible");
    EXPECT_FALSE(logGroup()->isVisible());
    EXPECT_FALSE(handle()->isVisible());
    EXPECT_EQ(toggle->text(), "Показать лог");
    EXPECT_EQ(toggle->icon().cacheKey(), window->imageList().icon(ImageList::Book).cacheKey());

    toggle->trigger();
    EXPECT_TRUE(logGroup()->isVisible());
    EXPECT_TRUE(handle()->isVisible());
    EXPECT_EQ(toggle->text(), QStringLiteral("C") + QStringLiteral("крыть лог"));  // Latin C
    EXPECT_EQ(toggle->icon().cacheKey(), window->imageList().icon(ImageList::BookGrey).cacheKey());

    toggle->trigger();
    EXPECT_FALSE(logGroup()->isVisible());
    EXPECT_FALSE(handle()->isVisible());

    // The caption follows visibility changed elsewhere too.
    window->ApplyLanguage(UiLanguage::English);
    logGroup()->show();
    EXPECT_EQ(toggle->text(), "Hide Report");
    logGroup()->hide();
    EXPECT_EQ(toggle->text(), "Show Report");
}

TEST_F(LogPaneTest, SplitterKeepsLogAndWorkAreaWithinLimits) {
    window->SetLogVisible(true);
    QApplication::processEvents();
    const QRect bar = handle()->geometry();
    EXPECT_EQ(bar.width(), 6);
    EXPECT_EQ(bar.left(), workArea()->geometry().right() + 1);
    EXPECT_EQ(logGroup()->geometry().left(), bar.right() + 1);
    EXPECT_EQ(logGroup()->width(), MainWindow::kLogInitialWidth);

    window->resize(1200, 400);
    QApplication::processEvents();
    dragHandle(-2000);  // widen the log as far as possible
    EXPECT_EQ(logGroup()->width(), MainWindow::kLogMaximumWidth);
    EXPECT_GE(workArea()->width(), 300);
    dragHandle(2000);  // narrow it as far as possible
    EXPECT_EQ(logGroup()->width(), MainWindow::kLogMinimumWidth);
    EXPECT_TRUE(logGroup()->isVisible());  // no snapping away

    window->resize(100, 100);  // the window cannot shrink below its minimum
    QApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(768, 272));
    dragHandle(-2000);
    EXPECT_GE(workArea()->width(), 300);
    EXPECT_GE(workArea()->height(), 100);
}

TEST_F(LogPaneTest, PaneFollowsTheActivityLog) {
    auto* memo = widget<MemoLog>("Memo_Log");
    ActivityLog& log = window->activityLog();
    log.AddLine(QStringLiteral("==>DeviceInformation_Get"));
    log.AddLine(QStringLiteral("Запись: 0%"));
    log.ReplaceLastLine(QStringLiteral("Запись: 50%"));
    EXPECT_EQ(memo->shownLines(),
              QStringList({"==>DeviceInformation_Get", QStringLiteral("Запись: 50%")}));
    EXPECT_EQ(memo->toPlainText(), QStringLiteral("==>DeviceInformation_Get\nЗапись: 50%"));

    action("Action_LOG_Clear")->trigger();
    EXPECT_TRUE(memo->shownLines().isEmpty());
    EXPECT_TRUE(log.lines().isEmpty());

    // An empty line in an empty pane is still a line: the next one goes below it.
    log.AddLine(QString());
    log.AddLine(QStringLiteral("B"));
    EXPECT_EQ(memo->shownLines(), QStringList({"", "B"}));

    // A pane that starts following a log shows what was logged before.
    MemoLog late;
    late.follow(log);
    log.AddLine(QStringLiteral("C"));
    EXPECT_EQ(late.shownLines(), QStringList({"", "B", "C"}));
    EXPECT_TRUE(late.isReadOnly());
}

class FormDestroyTest : public WindowTest {};

TEST_F(FormDestroyTest, ReleasesLockThenLogsEndBannerThenUploadsThenReleasesRun) {
    const QString lockName = QStringLiteral("KMT2_Manager_Mutex_test");
    ASSERT_TRUE(window->instanceLock().acquire(lockName));
    window->activityLog().AddLine(QStringLiteral("work"));

    QStringList events;
    QStringList uploaded;
    window->setReportUpload([&](const ActivityLog& log) {
        SingleInstanceLock other;
        events << (other.acquire(lockName) ? "upload after release" : "upload while locked");
        uploaded = log.lines();
    });
    window->setRunRelease([&] { events << "release"; });

    window->FormDestroy();
    EXPECT_EQ(events, QStringList({"upload after release", "release"}));
    ASSERT_EQ(uploaded.size(), 3);
    EXPECT_EQ(uploaded.at(0), "work");
    EXPECT_TRUE(uploaded.at(1).startsWith("END: ")) << uploaded.at(1).toStdString();
    EXPECT_GT(uploaded.at(1).size(), 12);
    EXPECT_EQ(uploaded.at(2), QString(40, '='));

    window.reset();  // the destructor does not end the run a second time
    EXPECT_EQ(events.size(), 2);
}

TEST_F(FormDestroyTest, DestructionEndsTheRunWhenNobodyDidBefore) {
    QStringList uploaded;
    window->setReportUpload([&](const ActivityLog& log) { uploaded = log.lines(); });
    window.reset();
    ASSERT_EQ(uploaded.size(), 2);
    EXPECT_TRUE(uploaded.at(0).startsWith("END: "));
    EXPECT_EQ(uploaded.at(1), logSeparatorLine());
}

TEST(LogBanner, DateAndTimeInTheLocaleShortDateAndLongTimeWithoutZone) {
    const QDateTime moment(QDate(2026, 6, 29), QTime(10, 24, 4));
    EXPECT_EQ(bannerDateTime(moment, QLocale(QLocale::Russian, QLocale::Russia)),
              "29.06.2026 10:24:04");
    const QString english =
        bannerDateTime(moment, QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_TRUE(english.startsWith("6/29/26 10:24:04")) << english.toStdString();
    EXPECT_FALSE(english.endsWith(' '));
}

}  // namespace
}  // namespace verimant::test
