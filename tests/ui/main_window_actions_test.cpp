#include "tests/ui/window_fixture.h"

#include "device/write_cancel.h"
#include "tests/support/scripted_dialogs.h"
#include "ui/action_item.h"
#include "ui/bottom_panel.h"
#include "ui/data_source_setting.h"
#include "ui/image_list.h"

#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>

namespace verimant::test {
namespace {

class ActionsTest : public WindowTest {
protected:
    QPushButton* upgradeButton() const { return widget<QPushButton>("BitBtn_ReNewDeviceInfo"); }
};

TEST_F(ActionsTest, CtrlXEndsTheRunFromAnywhereInTheWindow) {
    // The menu item shows the shortcut without owning it, so it cannot fire twice.
    EXPECT_EQ(shownText(widget<QAction>("MainMenu_File_Exit")->text()), "Выход\tCtrl+X");
    EXPECT_TRUE(widget<QAction>("MainMenu_File_Exit")->shortcut().isEmpty());
    for (const char* focus : {"Memo_Log", "BitBtn_ReNewDeviceInfo", "Panel_Main"}) {
        SCOPED_TRACE(focus);
        window->SetLogVisible(true);
        showWindow();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QSignalSpy exits(action("Action_Exit"), &QAction::triggered);
        QTest::keyClick(widget(focus), Qt::Key_X, Qt::ControlModifier);
        EXPECT_EQ(exits.count(), 1);
        EXPECT_FALSE(window->isVisible());
    }
}

TEST_F(ActionsTest, LogPopupOffersClearingAndSavingOnlyDisabled) {
    auto* popup = widget<QMenu>("PopupMenu_Log");
    const QList<QAction*> items = popup->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_TRUE(items.at(0)->isEnabled());
    EXPECT_EQ(shownText(items.at(0)->text()), action("Action_Log_Visible")->text());
    EXPECT_EQ(shownText(items.at(1)->text()), "Очистить лог");
    EXPECT_FALSE(items.at(1)->isEnabled());
    EXPECT_EQ(shownText(items.at(2)->text()), "Сохранить");
    EXPECT_FALSE(items.at(2)->isEnabled());
    // Only the item is disabled; the command itself stays available.
    EXPECT_TRUE(action("Action_LOG_Clear")->isEnabled());
    window->activityLog().AddLine(QStringLiteral("x"));
    items.at(1)->trigger();
    EXPECT_EQ(window->activityLog().lines().size(), 1);
}

TEST_F(ActionsTest, HiddenAndDisabledEntries) {
    EXPECT_FALSE(widget<QMenu>("MainMenu_Help")->menuAction()->isVisible());
    EXPECT_TRUE(action("Action_Menu_Help")->isVisible());
    EXPECT_TRUE(widget<QMenu>("MainMenu_Data_Source")->menuAction()->isVisible());
    EXPECT_FALSE(action("Action_Connection_Manual_List")->isEnabled());
    EXPECT_FALSE(widget<QMenu>("Menu_PP_Manual_List")->menuAction()->isEnabled());
    EXPECT_FALSE(widget<QAction>("MainMenu_Connection_Manual_List")->isEnabled());
    EXPECT_TRUE(action("Action_Connection_Auto")->isChecked());
    EXPECT_FALSE(action("Action_Connection_Manual")->isChecked());
    EXPECT_TRUE(action("Action_Data_Source_Internet")->isChecked());
    EXPECT_FALSE(window->connectionTimer().isActive());
}

TEST_F(ActionsTest, ItemsShowTheirActionAndLeaveCheckMarksToIt) {
    QAction* manual = action("Action_Connection_Manual");
    QAction* autoMode = action("Action_Connection_Auto");
    auto* popupManual = widget<QMenu>("PopupMenu1_Connection_Manual");
    auto* autoItem = widget<QAction>("PopupMenu1_Connection_Auto");

    // Opening the manual submenu runs the manual action but does not check it.
    QSignalSpy manualRuns(manual, &QAction::triggered);
    popupManual->popup(QPoint(10, 10));
    popupManual->hide();
    EXPECT_EQ(manualRuns.count(), 1);
    EXPECT_FALSE(manual->isChecked());
    EXPECT_TRUE(autoMode->isChecked());

    // When the connection manager checks the manual entry, every item follows.
    manual->setText(QStringLiteral("Вручную COM5"));
    manual->setChecked(true);
    EXPECT_FALSE(autoMode->isChecked());
    EXPECT_EQ(shownText(popupManual->title()), "Вручную COM5");
    EXPECT_TRUE(popupManual->menuAction()->isChecked());
    EXPECT_FALSE(autoItem->isChecked());

    // Clicking the automatic item runs its action; the mark moves only if a handler moves it.
    QSignalSpy autoRuns(autoMode, &QAction::triggered);
    autoItem->trigger();
    EXPECT_EQ(autoRuns.count(), 1);
    EXPECT_FALSE(autoItem->isChecked());
    EXPECT_TRUE(popupManual->menuAction()->isChecked());
    QObject::connect(autoMode, &QAction::triggered, [autoMode] { autoMode->setChecked(true); });
    autoItem->trigger();
    EXPECT_TRUE(autoItem->isChecked());
    EXPECT_FALSE(popupManual->menuAction()->isChecked());
    EXPECT_TRUE(widget<QAction>("MainMenu_Connection_Auto")->isChecked());
}

// Local asks for its folder at every choice; the choice, its check mark and icon outlive the
// window, and a cancelled folder choice leaves the source as it was.
TEST_F(ActionsTest, DataSourceChoiceMovesMarkAndIconAndIsRemembered) {
    ScriptedDialogs dialogs;
    const auto expectSource = [this](bool local) {
        EXPECT_EQ(action("Action_Data_Source_Local")->isChecked(), local);
        EXPECT_EQ(action("Action_Data_Source_Internet")->isChecked(), !local);
        EXPECT_EQ(
            action("Action_Data_Source")->icon().cacheKey(),
            window->imageList().icon(local ? ImageList::FloppyDisk : ImageList::Globe).cacheKey());
    };
    widget<QAction>("MainMenu_Data_Source_Local")->trigger();
    expectSource(false);

    dialogs.fileAnswers.enqueue(QStringLiteral("/srv/verimant-set"));
    widget<QAction>("MainMenu_Data_Source_Local")->trigger();
    expectSource(true);
    action("Action_Data_Source_Internet")->trigger();
    expectSource(false);
    dialogs.fileAnswers.enqueue(QStringLiteral("/srv/verimant-set"));
    action("Action_Data_Source_Local")->trigger();
    expectSource(true);
    EXPECT_EQ(dialogs.textsOf("folder").size(), 3);

    window = std::make_unique<MainWindow>();
    expectSource(true);
    EXPECT_EQ(chosenSourceFolder(), "/srv/verimant-set");
    action("Action_Data_Source_Internet")->trigger();
    window = std::make_unique<MainWindow>();
    expectSource(false);
    EXPECT_TRUE(chosenSourceFolder().isEmpty());
}

// A user who never chose gets every write read back; a choice either way lasts.
TEST_F(ActionsTest, VerifyWritesIsOnUnlessTurnedOffAndRememberedForTheNextStart) {
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "PELMA", "KMT2")
        .remove("MANAGER/OPTIONS/VERIFY_WRITES");
    window = std::make_unique<MainWindow>();
    EXPECT_TRUE(action("Action_Verify_Writes")->isChecked());
    widget<QAction>("MainMenu_Verify_Writes")->trigger();
    window = std::make_unique<MainWindow>();
    EXPECT_FALSE(action("Action_Verify_Writes")->isChecked());
    widget<QAction>("MainMenu_Verify_Writes")->trigger();
    window.reset();
    window = std::make_unique<MainWindow>();
    EXPECT_TRUE(action("Action_Verify_Writes")->isChecked());
    window->ApplyLanguage(UiLanguage::English);
    EXPECT_EQ(action("Action_Verify_Writes")->text(), "Verify writes");
}

TEST_F(ActionsTest, UpgradeRunsOnlyWithAnInstrumentDisabledThenEndsTheRun) {
    showWindow();
    QSignalSpy exits(action("Action_Exit"), &QAction::triggered);
    int runs = 0;
    bool enabledDuring = true;
    bool exitedDuring = true;
    window->setUpgradeWorkflow([&] {
        ++runs;
        enabledDuring = upgradeButton()->isEnabled();
        exitedDuring = exits.count() > 0;
        upgradeButton()->click();  // a second press while it runs is ignored
    });

    upgradeButton()->click();  // nobody reports a connection yet
    window->setDeviceConnectedQuery([] { return false; });
    QTest::mouseClick(upgradeButton(), Qt::LeftButton);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(exits.count(), 0);
    EXPECT_TRUE(window->isVisible());

    window->setDeviceConnectedQuery([] { return true; });
    QTest::mouseClick(upgradeButton(), Qt::LeftButton);
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(enabledDuring);
    EXPECT_FALSE(exitedDuring);
    EXPECT_TRUE(upgradeButton()->isEnabled());
    EXPECT_EQ(exits.count(), 1);
    EXPECT_FALSE(window->isVisible());
}

// A close request arrives inside the workflow's waits: it hides nothing. While the instrument is
// written only Yes raises the stop, which a second close does not ask about again; before the
// writes a close cancels without a question. Either stop ends with the run.
TEST_F(ActionsTest, ClosingDuringTheUpgradeAsksOnlyWhileWritingAndKeepsTheWindow) {
    const QString question = "Идёт обновление прибора. Прервать после текущего шага?";
    struct Case {
        bool writing;
        bool answer;
        int questions;
        bool stopRaised;
    };
    for (const Case c :
         {Case{true, true, 1, true}, Case{true, false, 2, false}, Case{false, false, 0, true}}) {
        SCOPED_TRACE(testing::Message() << "writing " << c.writing << ", answer " << c.answer);
        showWindow();
        ScriptedDialogs dialogs;
        dialogs.yesNoAnswers << c.answer << c.answer;
        bool shown = false;
        bool stopRaised = false;
        window->setDeviceConnectedQuery([] { return true; });
        window->setUpgradeWorkflow([&] {
            setRunWriting(c.writing);
            window->close();
            window->close();
            setRunWriting(false);
            shown = window->isVisible();
            stopRaised = runStopRequested();
        });

        upgradeButton()->click();
        EXPECT_TRUE(shown);
        EXPECT_EQ(stopRaised, c.stopRaised);
        EXPECT_EQ(dialogs.textsOf("warning question"), QStringList(c.questions, question));
        EXPECT_FALSE(window->isVisible()) << "the run still ends with the upgrade";
        EXPECT_FALSE(runStopRequested());
    }
}

// Only what the window adds to its widgets: the progress clamp and the Windows colour order.
TEST_F(ActionsTest, StatusBarClampsProgressAndReadsColoursAsBgr) {
    window->setBottomProgress(140);
    EXPECT_EQ(widget<QProgressBar>("ProgressBar_Bottom_Info")->value(), 100);
    window->setBottomProgress(-3);
    EXPECT_EQ(widget<QProgressBar>("ProgressBar_Bottom_Info")->value(), 0);
    window->setPanelConnection(QStringLiteral("ERR"), colourFromBgr(0x0000FF));
    EXPECT_EQ(window->bottomPanel().connectionColour(), QColor(255, 0, 0));
    window->setInfoField(InfoField::SwKmt2, QStringLiteral("3.14"));
    EXPECT_EQ(widget<QLabel>("ST_DI_SW_KMT2")->text(), "3.14");
}

TEST_F(ActionsTest, ValueFieldsUseAFixedPitchFaceWithCyrillic) {
    showWindow();
    const QFont font = widget<QLabel>("ST_DI_Serial_Number")->font();
    const QFontInfo info(font);
    EXPECT_TRUE(info.fixedPitch()) << info.family().toStdString();
    EXPECT_TRUE(font.bold());
    EXPECT_TRUE(QFontMetrics(font).inFont(QChar(0x0416)));  // Ж
    EXPECT_TRUE(QFontInfo(widget("Memo_Log")->font()).fixedPitch());
}

}  // namespace
}  // namespace verimant::test
