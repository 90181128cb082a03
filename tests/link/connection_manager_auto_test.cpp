#include "tests/link/connection_manager_fixture.h"

#include <QTimer>

namespace verimant::test {
namespace {

using Manager = ConnectionManager;

TEST_F(ConnectionManagerTest, StartsWatchingAndTurnsToScanningWithoutAnInstrument) {
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
    EXPECT_EQ(manager.candidatePort(), -1);
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

TEST_F(ConnectionManagerTest, NewPortIsOpenedAtTheNextTickAndWatched) {
    tickUntilScanning();
    plugIn(4);
    manager.tick();
    ASSERT_TRUE(flags.deviceConnected);
    EXPECT_EQ(view.last().colour, 0x00FF00u);
    EXPECT_EQ(view.last().comText, "COM 4");
    EXPECT_EQ(manager.portScanList().lastConnectedPort(), 4);
    const QString shownWhenFound = view.last().text;

    // Watching: the steady state alternates its two texts.
    manager.tick();
    manager.tick();
    ASSERT_EQ(view.shown.size(), 5);
    EXPECT_NE(view.shown[3].text, shownWhenFound);
    EXPECT_EQ(view.shown[4].text, shownWhenFound);
    EXPECT_TRUE((QStringList{view.shown[3].text, view.shown[4].text}.contains("= OK =")));
    EXPECT_TRUE((QStringList{view.shown[3].text, view.shown[4].text}.contains("OK")));
    EXPECT_EQ(logLinesStartingWith("Open COM 4"), QStringList{"Open COM 4 : OK"});
}

TEST_F(ConnectionManagerTest, UnpluggingShowsTheLossAndTheSamePortIsTriedFirstWhenItReturns) {
    tickUntilScanning();
    sim::PtyInstrument& instrument = plugIn(8);
    manager.tick();
    ASSERT_TRUE(flags.deviceConnected);
    // A port below it appears while the instrument is connected; it cannot be opened.
    addDeadPort(3);

    unplug(instrument);
    manager.tick();
    EXPECT_FALSE(flags.deviceConnected);
    EXPECT_EQ(manager.connectionMode(), Manager::kAutoScanning);
    EXPECT_EQ(view.last().state, LinkState::Err);
    EXPECT_EQ(view.last().colour, 0x0000FFu);
    EXPECT_EQ(view.last().comText, "----");
    EXPECT_FALSE(protocol.isOpen());

    manager.tick();
    EXPECT_EQ(manager.candidatePort(), 3);
    EXPECT_EQ(portLinesStartingWith("Open COM 3"), 1);

    replug(instrument);
    const int opensOfThree = portLinesStartingWith("Open COM 3");
    manager.tick();
    EXPECT_EQ(manager.portScanList().portAt(0), 8);
    EXPECT_EQ(manager.portScanList().portAt(1), 3);
    EXPECT_TRUE(flags.deviceConnected);
    EXPECT_EQ(manager.connectedPort(), 8);
    EXPECT_EQ(view.last().comText, "COM 8");
    EXPECT_EQ(portLinesStartingWith("Open COM 3"), opensOfThree);
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

TEST_F(ConnectionManagerTest, DisabledLinkCheckKeepsOkWhileTheInstrumentIsAway) {
    tickUntilScanning();
    sim::PtyInstrument& instrument = plugIn(6);
    manager.tick();
    ASSERT_TRUE(flags.deviceConnected);
    const int framesBefore = instrument.framesReceived();

    flags.linkCheckEnabled = false;
    unplug(instrument);
    for (int i = 0; i < 3; ++i) {
        manager.tick();
        EXPECT_EQ(view.last().state, LinkState::Ok);
        EXPECT_TRUE(flags.deviceConnected);
    }

    flags.linkCheckEnabled = true;
    manager.tick();
    EXPECT_NE(view.last().state, LinkState::Ok);
    EXPECT_FALSE(flags.deviceConnected);
    EXPECT_EQ(manager.connectionMode(), Manager::kAutoScanning);
    EXPECT_EQ(instrument.framesReceived(), framesBefore);
}

TEST_F(ConnectionManagerTest, TickDuringALinkTestReturnsAtOnce) {
    tickUntilScanning();
    sim::SimFaults late;
    late.lateMs = 200;
    sim::PtyInstrument& instrument = plugIn(2, late);
    manager.tick();
    ASSERT_TRUE(flags.deviceConnected);

    bool nestedRan = false;
    bool busyInside = false;
    int callsBefore = -1;
    int callsAfter = -1;
    bool blinkBefore = false;
    bool blinkAfter = true;
    QTimer::singleShot(50, [&] {
        nestedRan = true;
        busyInside = manager.busy();
        callsBefore = view.calls();
        blinkBefore = manager.blink();
        manager.tick();
        callsAfter = view.calls();
        blinkAfter = manager.blink();
    });
    const int framesBefore = instrument.framesReceived();
    manager.tick();  // watching: the echo waits about 200 ms for its answer
    EXPECT_TRUE(nestedRan);
    EXPECT_TRUE(busyInside);
    EXPECT_EQ(callsAfter, callsBefore);
    EXPECT_EQ(blinkAfter, blinkBefore);
    EXPECT_EQ(instrument.framesReceived(), framesBefore + 1);
    EXPECT_FALSE(manager.busy());
    EXPECT_EQ(view.last().state, LinkState::Ok);
}

TEST_F(ConnectionManagerTest, TickInsideAnotherTransactionLeavesItsAnswerAlone) {
    tickUntilScanning();
    sim::SimFaults late;
    late.lateMs = 200;
    sim::PtyInstrument& instrument = plugIn(2, late);
    manager.tick();
    ASSERT_TRUE(flags.deviceConnected);

    QTimer::singleShot(50, [&] { manager.tick(); });
    const int framesBefore = instrument.framesReceived();
    // Program information on the general channel, the channel the link test uses too.
    const QByteArray request("\x01\x01", 2);
    EXPECT_TRUE(protocol.transact(protocol.channel(DeviceProtocol::kGeneralChannel), request, ""));
    EXPECT_EQ(protocol.answerDataLength(protocol.channel(DeviceProtocol::kGeneralChannel)), 8);
    // One request, no echo test and no resend.
    EXPECT_EQ(instrument.framesReceived(), framesBefore + 1);
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
