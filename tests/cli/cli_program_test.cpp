// verimant-cli run as a program against a simulated instrument in this test's ports folder.

#include "sim/pty_instrument.h"
#include "tests/cli/cli_process.h"

#include <gtest/gtest.h>

#include <memory>

namespace verimant::test {
namespace {

class CliProgramTest : public ::testing::Test {
protected:
    sim::PtyInstrument& plugIn(sim::SimFaults faults = {}) {
        sim::PtyInstrumentOptions options;
        options.portNumber = 5;
        options.faults = faults;
        options.resetDelayMs = 300;
        instrument = std::make_unique<sim::PtyInstrument>(sim::InstrumentConfig{}, options);
        QString error;
        EXPECT_TRUE(instrument->start(&error)) << error.toStdString();
        return *instrument;
    }

    std::unique_ptr<sim::PtyInstrument> instrument;
};

// The readout's log lines are the report: standard output carries them between the port's
// opening and closing lines.
TEST_F(CliProgramTest, PortsListsTheLinkAndInfoPrintsTheReadoutLog) {
    plugIn();
    CliResult result = runCli({"ports"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.out.startsWith("COM5 ")) << result.out;
    EXPECT_TRUE(result.out.contains(instrument->slavePath()));

    result = runCli({"info", "--port", "5"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const QStringList lines = result.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 12) << result.out;
    EXPECT_EQ(lines.first(), "Open COM 5 : OK");
    EXPECT_EQ(lines.mid(1, 2),
              QStringList({"==>DeviceInformation_Get", "    Information from Device Recieved:"}));
    EXPECT_EQ(lines[4], "S/N   : 1-23-45678");
    EXPECT_EQ(lines.mid(9),
              QStringList({"==>DeviceExtFlashVersion_Get", "EFL   : 1.5", "Close COM 5 : OK"}));
    EXPECT_TRUE(result.err.isEmpty()) << result.err;
}

TEST_F(CliProgramTest, AbsentOrSilentPortsAreReportedFailures) {
    CliResult result = runCli({"info", "--port", "9"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.startsWith("Error: There is no serial port COM 9")) << result.err;

    sim::SimFaults silent;
    silent.silentAfter = 0;
    plugIn(silent);
    result = runCli({"info", "--port", "5"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.startsWith("Error: No instrument answers on COM 5")) << result.err;
    EXPECT_TRUE(result.out.contains("Open COM 5 : OK"));
}

TEST_F(CliProgramTest, BadUsageExitsWithTwoBeforeTouchingAPort) {
    plugIn();
    for (const QStringList& arguments :
         {QStringList{}, QStringList{"frobnicate"}, QStringList{"info"},
          QStringList{"info", "--port", "abc"}, QStringList{"info", "--port", "255"},
          QStringList{"mode", "sideways", "--port", "5"},
          QStringList{"settings", "get", "64", "--port", "5"},
          QStringList{"settings", "set", "6", "x", "--port", "5"},
          QStringList{"info", "--colour"}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const CliResult result = runCli(arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_FALSE(result.err.isEmpty());
        EXPECT_FALSE(result.out.contains("Open COM"));
    }
    EXPECT_EQ(instrument->framesReceived(), 0);

    const CliResult help = runCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* command : {"ports", "info", "mode boot|main", "settings get INDEX",
                                "--port N ", "the instrument's COM port number", "--yes "}) {
        EXPECT_TRUE(help.out.contains(command)) << command;
    }
}

TEST_F(CliProgramTest, ModeSwitchesBothWaysAndFollowsTheRestart) {
    plugIn();
    CliResult result = runCli({"mode", "boot", "--port", "5"});
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_TRUE(result.out.contains("==>Device_goto_BOOT mode"));
    EXPECT_TRUE(result.out.trimmed().endsWith("KMT2  : 0.0\nClose COM 5 : OK")) << result.out;
    EXPECT_EQ(instrument->snapshot().mode(), sim::InstrumentMode::BootLoader);

    result = runCli({"mode", "boot", "--port", "5"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_FALSE(result.out.contains("==>Device_goto_BOOT mode"));
    EXPECT_TRUE(result.err.startsWith("Information: ")) << result.err;

    result = runCli({"mode", "main", "--port", "5"});
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(instrument->snapshot().mode(), sim::InstrumentMode::MainFirmware);
}

TEST_F(CliProgramTest, SettingsAreClampedStoredAndReadBack) {
    plugIn();
    for (const QStringList& arguments :
         {QStringList{"settings", "set", "61", "500"}, QStringList{"settings", "get", "61"}}) {
        const CliResult result = runCli(arguments + QStringList{"--port", "5"});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_TRUE(result.out.contains("setting 61 = 100")) << result.out;
    }
}

// A block that could not be read must not be stored back with one value changed: that would seal
// whatever the failed read left as a valid block.
TEST_F(CliProgramTest, SetStoresNothingWhenTheBlockCannotBeRead) {
    sim::SimFaults silentAfterTheLinkTest;
    silentAfterTheLinkTest.silentAfter = 1;
    plugIn(silentAfterTheLinkTest);
    const CliResult result = runCli({"settings", "set", "6", "1", "--port", "5"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("Error: No answer in reading EFLASH")) << result.err;
    EXPECT_TRUE(result.err.contains("settings block transfer(s) failed")) << result.err;
    EXPECT_FALSE(result.out.contains("setting 6 =")) << result.out;
    // The link test, then the first piece of each copy, each request sent three times. Unread
    // copies are no evidence of damage, so nothing is erased or rewritten.
    EXPECT_EQ(instrument->framesReceived(), 1 + 2 * 3);
}

// A store that the instrument does not answer, or answers without holding the bytes, is no
// setting changed: the command fails and prints no value.
TEST_F(CliProgramTest, SetFailsWhenTheStoreDoesNotHold) {
    struct Case {
        const char* fault;
        sim::SimFaults faults;
        const char* error;
    };
    Case cases[] = {
        {"silent after the load", {}, "settings block transfer(s) failed"},
        {"stuck byte in setting 6 of copy 0", {}, "settings copy 0 at 0x7FE000 does not read back"},
    };
    // The link test and the 16 pieces of copy 0.
    cases[0].faults.silentAfter = 1 + 16;
    cases[1].faults.stuckByteAt = 0x7FE000 + 6 * 4;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        instrument.reset();
        plugIn(c.faults);
        const CliResult result = runCli({"settings", "set", "6", "5", "--port", "5"});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(result.err.contains(c.error)) << result.err;
        EXPECT_FALSE(result.out.contains("setting 6 =")) << result.out;
    }
}

}  // namespace
}  // namespace verimant::test
