#include "tests/link/connection_manager_fixture.h"

#include <QThread>
#include <QTimer>

namespace verimant::test {
namespace {

using Manager = ConnectionManager;
using Entry = ConnectionManager::PortNumberEntry;

// Remembers what the number dialog was opened with, and answers one text.
class NumberDialog final : public UserDialogs {
public:
    explicit NumberDialog(QString answer) : answer_(std::move(answer)) {}

    void showError(const QString& text) override { errors << text; }
    void showWarning(const QString&) override {}
    void showInformation(const QString&) override {}
    bool askYesNo(const QString&, const QString&) override { return false; }
    bool askText(const QString& caption, const QString& prompt, QString& value) override {
        this->caption = caption;
        this->prompt = prompt;
        preset = value;
        value = answer_;
        return true;
    }
    bool chooseFileToOpen(QString&) override { return false; }
    bool chooseFileToSave(QString&) override { return false; }

    QString caption;
    QString prompt;
    QString preset;
    QStringList errors;

private:
    QString answer_;
};

TEST(ConnectionManagerPortNumber, ParsesDecimalOrGivesMinusOne) {
    EXPECT_EQ(Manager::parsePortNumber("5"), 5);
    EXPECT_EQ(Manager::parsePortNumber(" 12 "), 12);
    EXPECT_EQ(Manager::parsePortNumber("-3"), -3);
    EXPECT_EQ(Manager::parsePortNumber("abc"), -1);
    EXPECT_EQ(Manager::parsePortNumber("7x"), -1);
    EXPECT_EQ(Manager::parsePortNumber(""), -1);
    EXPECT_EQ(Manager::parsePortNumber("99999999999"), -1);
}

TEST_F(ConnectionManagerTest, NumberDialogAsksInTheInterfaceLanguagePresetWithTheLastNumber) {
    NumberDialog first("12");
    installUserDialogs(&first);
    EXPECT_EQ(manager.askManualPortNumber(), Entry::Accepted);
    EXPECT_EQ(first.caption, "Установка соединения");
    EXPECT_EQ(first.prompt, "Введите номер COM порта от 0 до 250");
    EXPECT_EQ(first.preset, "1");
    EXPECT_EQ(manager.manualCaption(), "Вручную COM12");

    setUiLanguage(UiLanguage::English);
    NumberDialog second("x");
    installUserDialogs(&second);
    EXPECT_EQ(manager.askManualPortNumber(), Entry::Rejected);
    EXPECT_EQ(second.caption, "Connecting");
    EXPECT_EQ(second.prompt, "Enter COM Port Number from 0 to 250");
    EXPECT_EQ(second.preset, "12");
    EXPECT_EQ(second.errors, QStringList{"COM Port Number Format Error"});
    EXPECT_EQ(manager.manualCaption(), "Manual COM12");
    installUserDialogs(&dialogs);
}

TEST_F(ConnectionManagerTest, NumbersOutsideTheRangeChangeNothingAndPortZeroNeverOpens) {
    for (const char* typed : {"251", "-3", "abc"}) {
        dialogs.textAnswers.enqueue(typed);
        EXPECT_EQ(manager.askManualPortNumber(), Entry::Rejected) << typed;
    }
    EXPECT_EQ(dialogs.textsOf("error"), QStringList(3, "Ошибка формата номера COM порта"));
    EXPECT_EQ(manager.manualPortNumber(), 1);
    EXPECT_EQ(manager.candidatePort(), -1);
    // Cancel changes nothing either, and shows nothing.
    EXPECT_EQ(manager.askManualPortNumber(), Entry::Cancelled);
    EXPECT_EQ(dialogs.textsOf("error").size(), 3);
    EXPECT_EQ(manager.connectionMode(), Manager::kAutoWatching);

    // The edges of the range are accepted; port 0 exists for nobody.
    dialogs.textAnswers.enqueue("250");
    EXPECT_EQ(manager.askManualPortNumber(), Entry::Accepted);
    EXPECT_EQ(manager.candidatePort(), 250);
    dialogs.textAnswers.enqueue("0");
    ASSERT_EQ(manager.askManualPortNumber(), Entry::Accepted);
    EXPECT_EQ(manager.manualCaption(), "Вручную COM0");
    for (int i = 0; i < 3; ++i) {
        manager.tick();
        EXPECT_EQ(view.last().state, LinkState::Nok);
        EXPECT_EQ(view.last().comText, "----");
    }
    EXPECT_EQ(portLinesStartingWith("Open COM"), 0);
    EXPECT_EQ(dialogs.textsOf("error").size(), 3);
}

TEST_F(ConnectionManagerTest, ManualModeReachesAnInstrumentPresentAtStartAtOnce) {
    sim::PtyInstrument& instrument = plugIn(7);
    manager.tick();
    manager.tick();
    EXPECT_FALSE(protocol.isOpen());

    dialogs.textAnswers.enqueue("7");
    ASSERT_EQ(manager.askManualPortNumber(), Entry::Accepted);
    EXPECT_EQ(manager.connectionMode(), Manager::kManualMode);
    manager.tick();
    EXPECT_TRUE(flags.deviceConnected);
    EXPECT_EQ(view.last().state, LinkState::Ok);
    EXPECT_EQ(view.last().comText, "COM 7");
    EXPECT_EQ(manager.portScanList().lastConnectedPort(), 7);

    // Unplugged: the lost link is shown, then the port is reopened every tick until it returns.
    unplug(instrument);
    manager.tick();
    EXPECT_EQ(view.last().state, LinkState::Err);
    EXPECT_FALSE(flags.deviceConnected);
    manager.tick();
    EXPECT_EQ(view.last().state, LinkState::Nok);
    EXPECT_EQ(view.last().comText, "----");
    replug(instrument);
    manager.tick();
    EXPECT_TRUE(flags.deviceConnected);
    EXPECT_EQ(manager.connectionMode(), Manager::kManualMode);
}

TEST_F(ConnectionManagerTest, AnotherNumberWhileConnectedShowsErrOnceAndAutomaticKeepsTheLink) {
    plugIn(7);
    plugIn(8);
    ASSERT_TRUE(manager.chooseManualPort(7));
    manager.tick();
    ASSERT_EQ(manager.connectedPort(), 7);

    dialogs.textAnswers.enqueue("8");
    ASSERT_EQ(manager.askManualPortNumber(), Entry::Accepted);
    manager.tick();
    EXPECT_EQ(view.last().state, LinkState::Err);
    EXPECT_EQ(view.last().comText, "----");
    EXPECT_FALSE(flags.deviceConnected);
    manager.tick();
    EXPECT_EQ(view.last().state, LinkState::Ok);
    EXPECT_EQ(view.last().comText, "COM 8");
    EXPECT_EQ(manager.connectedPort(), 8);

    // The automatic entry watches the manual connection instead of scanning afresh.
    manager.chooseAutomatic();
    EXPECT_EQ(manager.connectionMode(), Manager::kAutoWatching);
    manager.tick();
    EXPECT_EQ(view.last().state, LinkState::Ok);
    EXPECT_EQ(view.last().comText, "COM 8");
}

// A restarted or re-plugged USB instrument gets its old device number back only once the old
// one is closed; a write, which turns the link test off, must not keep a dead port open.
TEST_F(ConnectionManagerTest, HungUpLineIsClosedAtTheNextTickEvenWithoutLinkTests) {
    sim::PtyInstrument& instrument = plugIn(7);
    ASSERT_TRUE(manager.chooseManualPort(7));
    manager.tick();
    ASSERT_TRUE(flags.deviceConnected);
    flags.linkCheckEnabled = false;
    unplug(instrument);
    for (int i = 0; i < 100 && !protocol.lineHungUp(); ++i) {
        QThread::msleep(20);
    }
    ASSERT_TRUE(protocol.lineHungUp());

    manager.tick();
    EXPECT_FALSE(protocol.isOpen());
    EXPECT_FALSE(flags.deviceConnected);
    EXPECT_EQ(view.last().state, LinkState::Err);
    EXPECT_EQ(manager.connectionMode(), Manager::kManualMode);
    replug(instrument);
    manager.tick();
    EXPECT_TRUE(flags.deviceConnected);
}

// The number dialog can be answered inside a tick's link test (it runs the event loop). The port
// open then is not the chosen one, so it must not be recorded as connected, nor may the tick undo
// the choice; the next tick follows it.
TEST_F(ConnectionManagerTest, MenuChoiceMadeDuringALinkTestIsFollowedNotMisrecorded) {
    sim::SimFaults late;
    late.lateMs = 300;
    sim::PtyInstrument& slow = plugIn(7, late);
    plugIn(8);
    const auto chooseEightDuringTheNextTick = [&] {
        QTimer::singleShot(0, [&] { manager.chooseManualPort(8); });
        manager.tick();
        EXPECT_EQ(protocol.portNumber(), 7);
        EXPECT_FALSE(flags.deviceConnected);
        EXPECT_EQ(manager.connectedPort(), -1);
        EXPECT_EQ(manager.connectionMode(), Manager::kManualMode);

        manager.tick();
        EXPECT_TRUE(flags.deviceConnected);
        EXPECT_EQ(manager.connectedPort(), 8);
        EXPECT_EQ(protocol.portNumber(), 8);
        EXPECT_EQ(view.last().comText, "COM 8");
    };

    {
        SCOPED_TRACE("while scanning");
        unplug(slow);
        tickUntilScanning();  // COM 8 is present at start and left alone
        replug(slow);         // COM 7 comes back and is tried at the next tick
        chooseEightDuringTheNextTick();
    }
    {
        SCOPED_TRACE("in manual mode");
        ASSERT_TRUE(manager.chooseManualPort(7));
        manager.tick();  // lets go of COM 8
        chooseEightDuringTheNextTick();
    }
}

}  // namespace
}  // namespace verimant::test
