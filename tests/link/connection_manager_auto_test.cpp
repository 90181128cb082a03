#include "tests/link/connection_manager_fixture.h"

#include <QThread>
#include <QTimer>

namespace verimant::test {
namespace {

using Manager = ConnectionManager;

TEST_F(ConnectionManagerTest, ScansWithoutAnInstrumentThenOpensANewPortAndWatchesIt) {
    EXPECT_EQ(manager.connectionMode(), Manager::kAutoWatching);
    manager.tick();
    EXPECT_EQ(manager.connectionMode(), Manager::kAutoScanning);
    EXPECT_EQ(view.last().state, LinkState::Nok);
    EXPECT_EQ(view.last().text, "= NOK =");
    EXPECT_EQ(view.last().colour, 0xFFFFFFu);
    EXPECT_EQ(view.last().comText, "----");
    manager.tick();
    EXPECT_EQ(view.last().text, "NOK");
    EXPECT_FALSE(flags.deviceConnected);

    plugIn(4);
    manager.tick();
    ASSERT_TRUE(flags.deviceConnected);
    EXPECT_EQ(view.last().colour, 0x00FF00u);
    EXPECT_EQ(view.last().comText, "COM 4");
    EXPECT_EQ(manager.portScanList().lastConnectedPort(), 4);
    EXPECT_EQ(logLinesStartingWith("Open COM 4"), QStringList{"Open COM 4 : OK"});
    // Watching: the steady state alternates its two texts, one per tick.
    manager.tick();
    manager.tick();
    ASSERT_EQ(view.shown.size(), 5);
    EXPECT_EQ((QStringList{view.shown[2].text, view.shown[3].text, view.shown[4].text}),
              (QStringList{"= OK =", "OK", "= OK ="}));
}

TEST_F(ConnectionManagerTest, InstrumentPresentAtStartIsLeftAloneUntilItComesBack) {
    sim::PtyInstrument& instrument = plugIn(7);
    for (int i = 0; i < 4; ++i) {
        manager.tick();
        EXPECT_EQ(view.last().state, LinkState::Nok);
    }
    EXPECT_FALSE(protocol.isOpen());
    EXPECT_EQ(instrument.framesReceived(), 0);
    EXPECT_TRUE(logLinesStartingWith("Open COM").isEmpty());
    EXPECT_EQ(logLinesStartingWith("PORT LIST: "), QStringList{"PORT LIST: 7"});

    unplug(instrument);
    manager.tick();
    EXPECT_EQ(view.last().state, LinkState::Nok);
    replug(instrument);
    manager.tick();
    EXPECT_TRUE(flags.deviceConnected);
    EXPECT_EQ(view.last().state, LinkState::Ok);
    EXPECT_EQ(view.last().comText, "COM 7");
    EXPECT_EQ(manager.connectedPort(), 7);
    EXPECT_EQ(manager.connectionMode(), Manager::kAutoWatching);
}

// A hung-up line is closed at the next tick even while a firmware transfer has the link checks
// off, so that the instrument comes back under its old device number.
TEST_F(ConnectionManagerTest, HangUpShowsAtOnceWithoutTrafficAndTheSamePortIsTriedFirstOnReturn) {
    tickUntilScanning();
    sim::PtyInstrument& instrument = plugIn(8);
    manager.tick();
    ASSERT_TRUE(flags.deviceConnected);
    // A port below it appears while the instrument is connected; it cannot be opened.
    addDeadPort(3);

    const int framesBefore = instrument.framesReceived();
    flags.linkCheckEnabled = false;
    manager.tick();
    EXPECT_EQ(view.last().state, LinkState::Ok);
    unplug(instrument);
    for (int i = 0; i < 100 && !protocol.lineHungUp(); ++i) {
        QThread::msleep(20);
    }
    ASSERT_TRUE(protocol.lineHungUp());
    manager.tick();
    EXPECT_EQ(instrument.framesReceived(), framesBefore) << "nothing went on the line";
    EXPECT_FALSE(flags.deviceConnected);
    EXPECT_EQ(manager.connectionMode(), Manager::kAutoScanning);
    EXPECT_EQ(view.last().state, LinkState::Err);
    EXPECT_EQ(view.last().colour, 0x0000FFu);
    EXPECT_EQ(view.last().comText, "----");
    EXPECT_FALSE(protocol.isOpen());
    flags.linkCheckEnabled = true;

    manager.tick();
    EXPECT_EQ(manager.candidatePort(), 3);
    EXPECT_EQ(portLinesStartingWith("Open COM 3"), 1);
    replug(instrument);
    manager.tick();
    EXPECT_EQ(manager.portScanList().portAt(0), 8);
    EXPECT_EQ(manager.portScanList().portAt(1), 3);
    EXPECT_TRUE(flags.deviceConnected);
    EXPECT_EQ(view.last().comText, "COM 8");
    EXPECT_EQ(portLinesStartingWith("Open COM 3"), 1);
}

TEST_F(ConnectionManagerTest, AFailingPortStaysInTheRotationAfterTheListShrinks) {
    tickUntilScanning();
    addDeadPort(3);
    addDeadPort(5);
    manager.tick();  // tries 3
    EXPECT_EQ(manager.candidatePort(), 3);
    EXPECT_EQ(manager.scanPosition(), 1);
    ASSERT_TRUE(QFile::remove(qEnvironmentVariable("VERIMANT_PORTS_DIR") + "/COM5"));
    // The position now points past the list; the rotation must still come back to 3.
    manager.tick();
    const int opensBefore = portLinesStartingWith("Open COM 3");
    manager.tick();
    manager.tick();
    EXPECT_EQ(portLinesStartingWith("Open COM 3"), opensBefore + 2);
    EXPECT_EQ(manager.candidatePort(), 3);
}

TEST_F(ConnectionManagerTest, TickInsideAWaitingTransactionReturnsAtOnce) {
    tickUntilScanning();
    sim::SimFaults late;
    late.lateMs = 200;
    sim::PtyInstrument& instrument = plugIn(2, late);
    manager.tick();
    ASSERT_TRUE(flags.deviceConnected);

    // Inside the manager's own link test, which waits about 200 ms for its echo.
    int nested = -1;  // 1: the nested tick changed nothing, while the manager was busy
    QTimer::singleShot(50, [&] {
        const int calls = view.calls();
        const bool blink = manager.blink();
        const bool busy = manager.busy();
        manager.tick();
        nested = busy && view.calls() == calls && manager.blink() == blink ? 1 : 0;
    });
    int framesBefore = instrument.framesReceived();
    manager.tick();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(instrument.framesReceived(), framesBefore + 1);
    EXPECT_FALSE(manager.busy());
    EXPECT_EQ(view.last().state, LinkState::Ok);

    // Inside another transaction on the general channel, the channel the link test uses too: a
    // link test there would empty that transaction's answer queue and force a resend.
    QTimer::singleShot(50, [&] { manager.tick(); });
    framesBefore = instrument.framesReceived();
    ProtocolChannel* general = protocol.channel(DeviceProtocol::kGeneralChannel);
    EXPECT_TRUE(protocol.transact(general, QByteArray("\x01\x01", 2), ""));
    EXPECT_EQ(protocol.answerDataLength(general), 8);
    EXPECT_EQ(instrument.framesReceived(), framesBefore + 1) << "no echo test and no resend";
}

TEST_F(ConnectionManagerTest, AnAttachedTimerDrivesTheManagerUntilTheInstrumentAnswers) {
    QTimer timer;
    manager.attachTimer(timer);
    EXPECT_EQ(timer.interval(), 500);
    timer.start();
    EXPECT_FALSE(manager.waitForDevice(1200));
    plugIn(9);
    EXPECT_TRUE(manager.waitForDevice(3000));
    EXPECT_EQ(manager.connectedPort(), 9);
    timer.stop();
}

}  // namespace
}  // namespace verimant::test
