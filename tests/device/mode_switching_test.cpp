#include "device/mode_switching.h"

#include "device/write_cancel.h"
#include "link/connection_manager.h"
#include "tests/device/simulated_device.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTimer>

#include <gtest/gtest.h>

namespace verimant {
namespace {

using sim::InstrumentMode;
using test::SimulatedDevice;

InstrumentMode modeOf(SimulatedDevice& device) {
    return device.withInstrument([](sim::Instrument& instrument) { return instrument.mode(); });
}

// The tool's connection manager, driven by its 500 ms timer, which runs inside the waits of a
// switch as it does in the window. It is running before the instrument is plugged in and finds it
// the way it finds a newly plugged instrument.
class WatchedLink {
public:
    explicit WatchedLink(SimulatedDevice& device)
        : device_(device), manager_(device.protocol, device.flags, device.log) {
        manager_.attachTimer(timer_);
    }
    bool connect() {
        manager_.tick();  // from watching to scanning
        manager_.tick();  // the ports present at start-up: none
        timer_.start();
        return device_.startInstrument() && manager_.waitForDevice(5000);
    }
    const ConnectionManager& manager() const { return manager_; }

private:
    SimulatedDevice& device_;
    ConnectionManager manager_;
    QTimer timer_;
};

// The log without the manager's port-list lines, which interleave wherever the list changes.
QStringList switchLines(const SimulatedDevice& device) {
    QStringList lines = device.logLines();
    lines.removeIf([](const QString& line) { return line.startsWith("PORT LIST: "); });
    return lines;
}

TEST(ModeSwitching, IntoTheBootLoaderAndBackIntoTheMainFirmware) {
    SimulatedDevice device;
    WatchedLink link(device);
    ASSERT_TRUE(link.connect());
    struct Switch {
        int (*run)(DeviceSession&);
        InstrumentMode mode;
        QStringList lines;
    };
    const Switch switches[] = {
        {Device_goto_BOOT,
         InstrumentMode::BootLoader,
         {"==>Device_goto_BOOT mode", "==>Device_Is_Booter_Or_KMT2", "BOOT  : 4.16",
          "KMT2  : 0.0"}},
        {Device_GoTo_KMT2,
         InstrumentMode::MainFirmware,
         {"==>Device_GoTo_KMT2", "==>Device_Is_Booter_Or_KMT2", "BOOT  : 4.16", "KMT2  : 2.3"}},
    };
    for (const Switch& to : switches) {
        device.log.clear();
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(to.run(device.session), 0);
        EXPECT_GE(clock.elapsed(), 3000) << "pause, one attempt and the settling second";
        EXPECT_EQ(modeOf(device), to.mode);
        EXPECT_TRUE(device.flags.deviceConnected);
        EXPECT_EQ(switchLines(device), to.lines);
    }
    EXPECT_EQ(device.instrument().appearanceCount(), 3);
    EXPECT_EQ(link.manager().connectedPort(), device.instrument().portNumber());
    EXPECT_TRUE(device.dialogs.boxes.isEmpty());
}

TEST(ModeSwitching, InstrumentThatRestartsIntoTheOtherProgramGivesMinusTwo) {
    SimulatedDevice device;
    // A boot loader that finds a usable main firmware starts it at once.
    device.instrument().setLinkListener([&device](bool present, const QString&, InstrumentMode) {
        if (present) {
            device.instrument().withInstrument([](sim::Instrument& instrument) {
                instrument.restart(InstrumentMode::MainFirmware);
            });
        }
    });
    WatchedLink link(device);
    ASSERT_TRUE(link.connect());
    device.log.clear();

    EXPECT_EQ(Device_goto_BOOT(device.session), -2);
    const QStringList lines = switchLines(device);
    EXPECT_EQ(lines.mid(lines.size() - 3),
              QStringList({"==>Device_Is_Booter_Or_KMT2", "BOOT  : 4.16", "KMT2  : 2.3"}));
    EXPECT_EQ(device.requests(0x01, 0x05), 1);
}

TEST(ModeSwitching, QueryTellsWhichProgramRunsAndASilentInstrumentFailsAtOnce) {
    sim::InstrumentConfig config;
    config.startMode = InstrumentMode::BootLoader;
    SimulatedDevice device(config);
    ASSERT_TRUE(device.start());

    EXPECT_EQ(Device_Is_Booter_Or_KMT2(device.session), 0);
    EXPECT_EQ(device.logLines(),
              QStringList({"==>Device_Is_Booter_Or_KMT2", "BOOT  : 4.16", "KMT2  : 0.0"}));
    EXPECT_EQ(device.commands.programInfo().mainVersion, 0) << "the cached copy is refreshed";

    device.silence();
    device.log.clear();
    EXPECT_EQ(Device_Is_Booter_Or_KMT2(device.session), -1);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(Device_GoTo_KMT2(device.session), -1);
    // Three unanswered sends of 700 ms; any pause of the switch would add a whole second.
    EXPECT_LT(clock.elapsed(), 2900);
    EXPECT_EQ(Device_goto_BOOT(device.session), -1);
    EXPECT_EQ(
        device.logLines(),
        QStringList({"==>Device_Is_Booter_Or_KMT2",
                     QStringLiteral("Ошибка получения версии ПО: ERC[0]"), "==>Device_GoTo_KMT2",
                     QStringLiteral("Ошибка перехода в режим KMT2: ERC[0]"),
                     "==>Device_goto_BOOT mode", "ERROR : Device_GoTo_Booter: ERC[0]"}));
    EXPECT_EQ(device.dialogs.textsOf("error"),
              QStringList({"No answer in reading information about Programm", "No answer - RESET",
                           "No answer - RESET"}));
    EXPECT_TRUE(device.flags.deviceConnected) << "nothing restarted, the link stands";
}

// The instrument carries out the RESET but its answer is lost, and the resends find it gone: the
// switch once reported -1 at once and left the instrument restarting into the mode asked for.
TEST(ModeSwitching, AResetWhoseAnswerWasLostIsFollowedLikeAnAnsweredOne) {
    for (const bool intoBootLoader : {true, false}) {
        SCOPED_TRACE(intoBootLoader ? "into the boot loader" : "into the main firmware");
        sim::InstrumentConfig config;
        config.startMode =
            intoBootLoader ? InstrumentMode::MainFirmware : InstrumentMode::BootLoader;
        sim::PtyInstrumentOptions options = SimulatedDevice::quickOptions();
        options.faults.lostResetAnswers = 1;
        SimulatedDevice device(config, options);
        WatchedLink link(device);
        ASSERT_TRUE(link.connect());

        EXPECT_EQ(
            intoBootLoader ? Device_goto_BOOT(device.session) : Device_GoTo_KMT2(device.session),
            0);
        EXPECT_EQ(device.requests(0x01, 0x05), 1) << "one RESET, not one per restart";
        EXPECT_TRUE(device.dialogs.boxes.isEmpty());
        EXPECT_TRUE(
            switchLines(device).contains("RESET : no answer, the instrument went off the line"));
    }
}

// Takes the full 32 seconds. The line says what was seen, so a failed switch in a report has a
// reason.
TEST(ModeSwitching, InstrumentThatNeverComesBackGivesMinusOneAndSaysSo) {
    sim::PtyInstrumentOptions options = SimulatedDevice::quickOptions();
    options.resetDelayMs = 120000;
    SimulatedDevice device({}, options);
    WatchedLink link(device);
    ASSERT_TRUE(link.connect());
    device.log.clear();

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(Device_goto_BOOT(device.session), -1);
    EXPECT_GE(clock.elapsed(), (1 + kModeSwitchAttempts) * kModeSwitchPauseMs);
    EXPECT_LT(clock.elapsed(), (3 + kModeSwitchAttempts) * kModeSwitchPauseMs);
    EXPECT_EQ(switchLines(device),
              QStringList({"==>Device_goto_BOOT mode",
                           "ERROR : no instrument after the restart: COM 7 never came back"}));
    EXPECT_FALSE(device.flags.deviceConnected);
    EXPECT_EQ(device.requests(0x01, 0x01), 0) << "no mode query without the instrument";
    EXPECT_TRUE(device.dialogs.boxes.isEmpty());
}

// The operator's stop: the switch into the boot loader, where a write begins, does not start; the
// way back into the main firmware is carried out, and then fails so that no write follows it.
TEST(ModeSwitching, StopRequestKeepsTheBootLoaderSwitchFromStartingAndEndsTheWayBack) {
    SimulatedDevice device;
    WatchedLink link(device);
    ASSERT_TRUE(link.connect());
    device.log.clear();
    requestRunStop();
    const auto cleared = qScopeGuard([] { clearRunStop(); });

    EXPECT_EQ(Device_goto_BOOT(device.session), -1);
    EXPECT_EQ(device.requests(0x01, 0x05), 0) << "no reset";
    EXPECT_EQ(Device_GoTo_KMT2(device.session), -1);
    EXPECT_EQ(device.requests(0x01, 0x05), 1);
    EXPECT_EQ(modeOf(device), InstrumentMode::MainFirmware);
    EXPECT_TRUE(device.flags.deviceConnected);
    const QString stop = "STOP : the operator asked to stop after this step";
    EXPECT_EQ(switchLines(device),
              QStringList({"==>Device_goto_BOOT mode", stop, "==>Device_GoTo_KMT2",
                           "==>Device_Is_Booter_Or_KMT2", "BOOT  : 4.16", "KMT2  : 2.3", stop}));
}

}  // namespace
}  // namespace verimant
