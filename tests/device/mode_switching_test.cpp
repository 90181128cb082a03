#include "device/mode_switching.h"

#include "tests/device/reconnect_ticker.h"
#include "tests/device/simulated_device.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace verimant {
namespace {

using sim::InstrumentMode;
using test::ReconnectTicker;
using test::SimulatedDevice;

InstrumentMode modeOf(SimulatedDevice& device) {
    return device.instrument().withInstrument(
        [](sim::Instrument& instrument) { return instrument.mode(); });
}

QStringList tail(const QStringList& lines, int count) {
    return lines.mid(std::max<qsizetype>(0, lines.size() - count));
}

TEST(ModeSwitching, ModeQueryTellsWhichProgramRuns) {
    sim::InstrumentConfig config;
    config.startMode = InstrumentMode::BootLoader;
    SimulatedDevice device(config);
    ASSERT_TRUE(device.start());

    EXPECT_EQ(Device_Is_Booter_Or_KMT2(device.session), 0);
    EXPECT_EQ(device.logLines(),
              QStringList({"==>Device_Is_Booter_Or_KMT2", "BOOT  : 4.16", "KMT2  : 0.0"}));
    EXPECT_EQ(device.commands.programInfo().mainVersion, 0) << "the cached copy is refreshed";

    sim::SimFaults silent;
    silent.silentAfter = 0;
    device.instrument().setFaults(silent);
    EXPECT_EQ(Device_Is_Booter_Or_KMT2(device.session), -1);
    EXPECT_EQ(device.log.lastLine(), QStringLiteral("Ошибка получения версии ПО: ERC[0]"));
    EXPECT_EQ(device.dialogs.textsOf("error"),
              QStringList({"No answer in reading information about Programm"}));
}

TEST(ModeSwitching, IntoTheBootLoaderAndBackIntoTheMainFirmware) {
    SimulatedDevice device;
    ASSERT_TRUE(device.start());
    ReconnectTicker ticker(device.protocol, device.flags, SimulatedDevice::kBaudRate);

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(Device_goto_BOOT(device.session), 0);
    EXPECT_GE(clock.elapsed(), 3000) << "pause, one attempt and the settling second";
    EXPECT_EQ(modeOf(device), InstrumentMode::BootLoader);
    EXPECT_TRUE(device.flags.deviceConnected);
    EXPECT_EQ(device.logLines(),
              QStringList({"==>Device_goto_BOOT mode", "==>Device_Is_Booter_Or_KMT2",
                           "BOOT  : 4.16", "KMT2  : 0.0"}));

    device.log.clear();
    EXPECT_EQ(Device_GoTo_KMT2(device.session), 0);
    EXPECT_EQ(modeOf(device), InstrumentMode::MainFirmware);
    EXPECT_EQ(device.logLines(), QStringList({"==>Device_GoTo_KMT2", "==>Device_Is_Booter_Or_KMT2",
                                              "BOOT  : 4.16", "KMT2  : 2.3"}));
    EXPECT_EQ(device.instrument().appearanceCount(), 3);
    EXPECT_EQ(ticker.reopenCount(), 2);
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
    ASSERT_TRUE(device.start());
    ReconnectTicker ticker(device.protocol, device.flags, SimulatedDevice::kBaudRate);

    EXPECT_EQ(Device_goto_BOOT(device.session), -2);
    EXPECT_EQ(tail(device.logLines(), 3),
              QStringList({"==>Device_Is_Booter_Or_KMT2", "BOOT  : 4.16", "KMT2  : 2.3"}));
    EXPECT_EQ(device.requests(0x01, 0x05), 1);
}

TEST(ModeSwitching, RefusedResetFailsAtOnce) {
    SimulatedDevice device;
    ASSERT_TRUE(device.start());
    sim::SimFaults silent;
    silent.silentAfter = 0;
    device.instrument().setFaults(silent);

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(Device_GoTo_KMT2(device.session), -1);
    // Three unanswered sends of 700 ms; any pause of the switch would add a whole second.
    EXPECT_LT(clock.elapsed(), 2900);
    EXPECT_EQ(device.logLines(),
              QStringList(
                  {"==>Device_GoTo_KMT2", QStringLiteral("Ошибка перехода в режим KMT2: ERC[0]")}));
    EXPECT_EQ(device.dialogs.textsOf("error"), QStringList({"No answer - RESET"}));
    EXPECT_TRUE(device.flags.deviceConnected) << "nothing restarted, the link stands";

    device.log.clear();
    EXPECT_EQ(Device_goto_BOOT(device.session), -1);
    EXPECT_EQ(device.log.lastLine(), "ERROR : Device_GoTo_Booter: ERC[0]");
}

// Takes the full 32 seconds.
TEST(ModeSwitching, InstrumentThatNeverComesBackGivesMinusOneWithoutAnotherLine) {
    sim::PtyInstrumentOptions options = SimulatedDevice::quickOptions();
    options.resetDelayMs = 120000;
    SimulatedDevice device({}, options);
    ASSERT_TRUE(device.start());
    ReconnectTicker ticker(device.protocol, device.flags, SimulatedDevice::kBaudRate);

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(Device_goto_BOOT(device.session), -1);
    EXPECT_GE(clock.elapsed(), (1 + kModeSwitchAttempts) * kModeSwitchPauseMs);
    EXPECT_LT(clock.elapsed(), (3 + kModeSwitchAttempts) * kModeSwitchPauseMs);
    EXPECT_EQ(device.logLines(), QStringList({"==>Device_goto_BOOT mode"}));
    EXPECT_FALSE(device.flags.deviceConnected);
    EXPECT_EQ(device.requests(0x01, 0x01), 0) << "no mode query without the instrument";
    EXPECT_TRUE(device.dialogs.boxes.isEmpty());
}

}  // namespace
}  // namespace verimant
