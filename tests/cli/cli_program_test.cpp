// verimant-cli run as a program against a simulated instrument in this test's ports folder.

#include "sim/pty_instrument.h"
#include "tests/support/test_environment.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

namespace verimant::test {
namespace {

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

CliResult runCli(const QStringList& arguments, int timeoutMs = 60000) {
    QProcess process;
    process.start(builtProgram("verimant-cli"), arguments);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(timeoutMs)) << "verimant-cli did not finish";
    CliResult result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

class CliProgramTest : public ::testing::Test {
protected:
    sim::PtyInstrument& plugIn(sim::InstrumentConfig config = {}, sim::SimFaults faults = {}) {
        sim::PtyInstrumentOptions options;
        options.portNumber = 5;
        options.faults = faults;
        options.resetDelayMs = 300;
        instrument = std::make_unique<sim::PtyInstrument>(config, options);
        QString error;
        EXPECT_TRUE(instrument->start(&error)) << error.toStdString();
        return *instrument;
    }

    std::unique_ptr<sim::PtyInstrument> instrument;
};

TEST_F(CliProgramTest, PortsListsTheInstrumentsLink) {
    plugIn();
    const CliResult result = runCli({"ports"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.out.startsWith("COM5 ")) << result.out.toStdString();
    EXPECT_TRUE(result.out.contains(instrument->slavePath()));
}

TEST_F(CliProgramTest, InfoPrintsTheReadoutLogInOrder) {
    sim::InstrumentConfig config;
    config.serial = "12345678";
    plugIn(config);
    const CliResult result = runCli({"info", "--port", "5"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QStringList lines = result.out.split('\n', Qt::SkipEmptyParts);
    const QStringList expectedStarts = {"Open COM 5 : OK",
                                        "==>DeviceInformation_Get",
                                        "    Information from Device Recieved:",
                                        "UID   : ",
                                        "S/N   : 1-23-45678",
                                        "Board : ",
                                        "BoardY: ",
                                        "BOOT  : 4.16",
                                        "KMT2  : 2.3",
                                        "==>DeviceExtFlashVersion_Get",
                                        "EFL   : 1.5",
                                        "Close COM 5 : OK"};
    ASSERT_EQ(lines.size(), expectedStarts.size()) << result.out.toStdString();
    for (int i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].startsWith(expectedStarts[i])) << lines[i].toStdString();
    }
    EXPECT_TRUE(result.err.isEmpty()) << result.err.toStdString();
}

TEST_F(CliProgramTest, AbsentOrSilentPortsAreReportedFailures) {
    CliResult result = runCli({"info", "--port", "9"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.startsWith("Error: There is no serial port COM 9"))
        << result.err.toStdString();

    sim::SimFaults silent;
    silent.silentAfter = 0;
    plugIn({}, silent);
    result = runCli({"info", "--port", "5"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.startsWith("Error: No instrument answers on COM 5"))
        << result.err.toStdString();
    EXPECT_TRUE(result.out.contains("Open COM 5 : OK"));
}

TEST_F(CliProgramTest, BadUsageExitsWithTwoBeforeTouchingAPort) {
    plugIn();
    for (const QStringList& arguments :
         {QStringList{}, QStringList{"frobnicate"}, QStringList{"info"},
          QStringList{"info", "--port", "abc"}, QStringList{"info", "--port", "251"},
          QStringList{"mode", "sideways", "--port", "5"},
          QStringList{"settings", "get", "64", "--port", "5"},
          QStringList{"settings", "set", "6", "x", "--port", "5"},
          QStringList{"info", "--colour"}}) {
        const CliResult result = runCli(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_FALSE(result.err.isEmpty()) << arguments.join(' ').toStdString();
        EXPECT_FALSE(result.out.contains("Open COM")) << arguments.join(' ').toStdString();
    }
    EXPECT_EQ(instrument->framesReceived(), 0);

    const CliResult help = runCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* command : {"ports", "info", "mode boot|main", "settings get INDEX"}) {
        EXPECT_TRUE(help.out.contains(command)) << command;
    }
}

TEST_F(CliProgramTest, ModeSwitchesBothWaysAndFollowsTheRestart) {
    plugIn();
    CliResult result = runCli({"mode", "boot", "--port", "5"});
    ASSERT_EQ(result.exitCode, 0) << result.out.toStdString() << result.err.toStdString();
    EXPECT_TRUE(result.out.contains("==>Device_goto_BOOT mode"));
    EXPECT_TRUE(result.out.trimmed().endsWith("KMT2  : 0.0\nClose COM 5 : OK"))
        << result.out.toStdString();
    EXPECT_EQ(instrument->snapshot().mode(), sim::InstrumentMode::BootLoader);

    result = runCli({"mode", "boot", "--port", "5"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_FALSE(result.out.contains("==>Device_goto_BOOT mode"));
    EXPECT_TRUE(result.err.startsWith("Information: ")) << result.err.toStdString();

    result = runCli({"mode", "main", "--port", "5"});
    ASSERT_EQ(result.exitCode, 0) << result.out.toStdString() << result.err.toStdString();
    EXPECT_EQ(instrument->snapshot().mode(), sim::InstrumentMode::MainFirmware);
}

TEST_F(CliProgramTest, SettingsAreClampedStoredAndReadBack) {
    plugIn();
    CliResult result = runCli({"settings", "set", "61", "500", "--port", "5"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(result.out.contains("setting 61 = 100"));

    result = runCli({"settings", "get", "61", "--port", "5"});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(result.out.contains("setting 61 = 100"));
}

}  // namespace
}  // namespace verimant::test
