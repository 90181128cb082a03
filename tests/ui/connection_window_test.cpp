#include "link/connection_manager.h"
#include "sim/pty_instrument.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/ui/window_fixture.h"
#include "ui/bottom_panel.h"
#include "ui/window_connection.h"

#include <QFile>
#include <QLabel>

namespace verimant::test {
namespace {

// The real window with its device link, simulated instruments in this test's ports folder.
class ConnectionWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        window->FormCreate();
        ASSERT_NE(window->connection(), nullptr);
        // Start-up without an update server asks whether to go on; these cases begin after it.
        dialogs.boxes.clear();
    }

    ConnectionManager& manager() { return window->connection()->manager(); }
    QString comPanel() const { return widget<QLabel>("Panel_COM")->text(); }
    QString connectionPanel() const { return widget<QLabel>("Panel_Connection")->text(); }
    QColor connectionColour() const { return window->bottomPanel().connectionColour(); }

    void plugIn(int port) {
        sim::PtyInstrumentOptions options;
        options.portNumber = port;
        instrument = std::make_unique<sim::PtyInstrument>(sim::InstrumentConfig{}, options);
        ASSERT_TRUE(instrument->start());
    }

    // Opening a menu refreshes the manual entry, as the toolkit does before a click can land.
    void openSettingsMenu() {
        window->menus().N_Nastroiki->popup(QPoint(10, 10));
        window->menus().N_Nastroiki->hide();
    }

    void chooseNumber() { widget<QAction>("MainMenu_Connection_Manual_Number")->trigger(); }

    ScriptedDialogs dialogs;
    std::unique_ptr<sim::PtyInstrument> instrument;
};

TEST_F(ConnectionWindowTest, TimerDrivesThePanelsAndTheUpgradeButtonFollowsTheLink) {
    int upgrades = 0;
    window->setUpgradeWorkflow([&] { ++upgrades; });
    window->BitBtn_ReNewDeviceInfoClick();
    EXPECT_EQ(upgrades, 0);

    window->connectionTimer().start();
    // Watching, then the first scan; after it the instrument below counts as new.
    for (int i = 0; i < 2; ++i) {
        manager().tick();
        EXPECT_TRUE(connectionPanel().contains("NOK"));
        EXPECT_EQ(connectionColour(), QColor(Qt::white));
        EXPECT_EQ(comPanel(), "----");
    }
    plugIn(6);
    EXPECT_TRUE(QTest::qWaitFor([this] { return comPanel() == "COM 6"; }, 3000));
    EXPECT_TRUE(connectionPanel().contains("OK"));
    EXPECT_FALSE(connectionPanel().contains("NOK"));
    EXPECT_EQ(connectionColour(), QColor(0, 255, 0));
    window->connectionTimer().stop();
    window->BitBtn_ReNewDeviceInfoClick();
    EXPECT_EQ(upgrades, 1);

    instrument->unplug();
    ASSERT_TRUE(instrument->waitUntilAbsent(3000));
    manager().tick();
    EXPECT_TRUE(connectionPanel().contains("ERR"));
    EXPECT_EQ(connectionColour(), QColor(255, 0, 0));
    EXPECT_EQ(comPanel(), "----");
}

TEST_F(ConnectionWindowTest, NumberDialogSwitchesToManualAndCaptionsTheEntry) {
    plugIn(7);
    dialogs.textAnswers.enqueue("7");
    chooseNumber();
    EXPECT_EQ(dialogs.textsOf("text"), QStringList{"Введите номер COM порта от 0 до 250"});
    QAction* manual = action("Action_Connection_Manual");
    EXPECT_TRUE(manual->isChecked());
    EXPECT_FALSE(action("Action_Connection_Auto")->isChecked());
    EXPECT_EQ(manual->text(), "Вручную COM7");
    EXPECT_EQ(shownText(widget<QMenu>("PopupMenu1_Connection_Manual")->title()), "Вручную COM7");
    EXPECT_EQ(manager().connectionMode(), ConnectionManager::kManualMode);

    // Present since before the start, yet reached at once.
    manager().tick();
    EXPECT_EQ(comPanel(), "COM 7");

    // A bad number is refused with the error box and changes nothing.
    dialogs.textAnswers.enqueue("abc");
    chooseNumber();
    EXPECT_EQ(dialogs.textsOf("error"), QStringList{"Ошибка формата номера COM порта"});
    EXPECT_EQ(manual->text(), "Вручную COM7");
    EXPECT_TRUE(manual->isChecked());

    // The automatic entry takes the mark back and watches the port already connected.
    widget<QAction>("MainMenu_Connection_Auto")->trigger();
    EXPECT_TRUE(action("Action_Connection_Auto")->isChecked());
    EXPECT_FALSE(manual->isChecked());
    EXPECT_EQ(manager().connectionMode(), ConnectionManager::kAutoWatching);
}

TEST_F(ConnectionWindowTest, CancelRestoresTheAutomaticMarkAsItWasAtTheLastUpdate) {
    QAction* autoMode = action("Action_Connection_Auto");
    QAction* manual = action("Action_Connection_Manual");
    openSettingsMenu();
    // The mark moved to the manual entry on the way to the number item.
    manual->setChecked(true);
    ASSERT_FALSE(autoMode->isChecked());
    chooseNumber();  // no answer queued: Cancel
    EXPECT_TRUE(autoMode->isChecked());
    EXPECT_FALSE(manual->isChecked());
    EXPECT_EQ(manager().connectionMode(), ConnectionManager::kAutoWatching);

    // In manual mode the automatic entry was unmarked at the update, and stays so.
    dialogs.textAnswers.enqueue("3");
    chooseNumber();
    openSettingsMenu();
    chooseNumber();
    EXPECT_FALSE(autoMode->isChecked());
    EXPECT_TRUE(manual->isChecked());
    EXPECT_EQ(manager().connectionMode(), ConnectionManager::kManualMode);
}

TEST_F(ConnectionWindowTest, ManualEntryRefillsThePortListWithTenInertEntries) {
    auto* popupManual = widget<QMenu>("PopupMenu1_Connection_Manual");
    for (int i = 0; i < 2; ++i) {
        popupManual->popup(QPoint(10, 10));
        popupManual->hide();
    }
    QStringList captions;
    for (QAction* entry : window->menus().Menu_PP_Manual_List->actions()) {
        captions << entry->text();
        entry->trigger();
    }
    EXPECT_EQ(captions, (QStringList{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}));
    EXPECT_EQ(manager().connectionMode(), ConnectionManager::kAutoWatching);
    EXPECT_FALSE(action("Action_Connection_Manual_List")->isEnabled());
    EXPECT_TRUE(dialogs.boxes.isEmpty());
}

}  // namespace
}  // namespace verimant::test
