// verimant-cli run as a program against a simulated instrument in this test's ports folder.

#include "sim/pty_instrument.h"
#include "tests/cli/cli_process.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

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
    QTemporaryDir work;
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

// A port another program holds exclusively is named busy, not silent, by every command that opens
// it; the instrument behind it hears nothing.
TEST_F(CliProgramTest, APortHeldByAnotherProgramIsReportedBusy) {
    plugIn();
    const int holder =
        ::open(instrument->slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(::ioctl(holder, TIOCEXCL), 0);
    for (const QStringList& arguments :
         {QStringList{"info", "--port", "5"}, QStringList{"mode", "boot", "--port", "5"},
          QStringList{"settings", "get", "6", "--port", "5"}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const CliResult result = runCli(arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(result.err.startsWith("Error: COM 5 is busy: another program holds it open"))
            << result.err;
        EXPECT_FALSE(result.err.contains("No instrument answers")) << result.err;
    }
    ::close(holder);
    EXPECT_EQ(instrument->framesReceived(), 0);
    EXPECT_EQ(runCli({"info", "--port", "5"}).exitCode, 0);
}

// Every refusal names what is wrong, once, and comes before the port is opened: an option the
// command would ignore, a value option given twice, an unusable server address, a FILE that is no
// file or no record file. The instrument sees no traffic.
TEST_F(CliProgramTest, BadUsageExitsWithTwoBeforeTouchingAPort) {
    plugIn();
    const QString folder = work.path();
    const QString missing = work.filePath("missing.hex");
    const QString noise = work.filePath("noise.hex");
    QFile noiseFile(noise);
    ASSERT_TRUE(noiseFile.open(QIODevice::WriteOnly));
    QByteArray bytes;
    for (int i = 0; i < 4096; ++i) {
        bytes.append(char((i * 167 + 13) % 256));
    }
    noiseFile.write(bytes);
    noiseFile.close();
    struct Case {
        QStringList arguments;
        QString says;        // empty: any text
        const char* server;  // VERIMANT_UPDATE_SERVER for the run; nullptr: unset
    };
    const std::vector<Case> cases = {
        {{}, {}, nullptr},
        {{"frobnicate"}, "unknown command 'frobnicate'", nullptr},
        {{"info"}, "'info' needs --port N", nullptr},
        {{"info", "--port", "abc"}, "--port needs a COM port number", nullptr},
        {{"info", "--port", "255"}, "--port needs a COM port number", nullptr},
        {{"mode", "sideways", "--port", "5"}, {}, nullptr},
        {{"settings", "get", "64", "--port", "5"}, {}, nullptr},
        {{"settings", "set", "6", "x", "--port", "5"}, {}, nullptr},
        {{"info", "--colour"}, "unknown option '--colour'", nullptr},
        // Options the command does not use, and a value option given twice.
        {{"ports", "--port", "5"}, "ports does not use --port", nullptr},
        {{"config", "--port", "5"}, "config does not use --port", nullptr},
        {{"info", "--port", "5", "--packet", "RU_EN"}, "info does not use --packet", nullptr},
        {{"mode", "boot", "--port", "5", "--no-verify"}, "mode does not use --no-verify", nullptr},
        {{"history", "--send"}, "history does not use --send", nullptr},
        {{"fetch", "f.ini", "--require-signature"},
         "fetch does not use --require-signature",
         nullptr},
        {{"info", "--port", "5", "--port", "6"}, "--port is given more than once", nullptr},
        {{"upgrade", "--port", "5", "--packet", "A", "--packet", "B"},
         "--packet is given more than once",
         nullptr},
        // An unusable update server address, with the reason, before the instrument is read.
        {{"info", "--port", "5", "--model"},
         "unknown scheme 'http' (ftp, ftpes or https)",
         "http://u:p@127.0.0.1:21"},
        {{"info", "--port", "5", "--model"}, "no scheme", "u:p@127.0.0.1:21"},
        {{"upgrade", "--port", "5"}, "no host", "ftp://u:pw-s3cr3t@:21"},
        {{"check", "--port", "5"}, "bad port '99999' (1 to 65535)", "ftp://u:p@127.0.0.1:99999"},
        {{"upgrade", "--port", "5"}, "bad port 'x21' (1 to 65535)", "ftp://u:p@127.0.0.1:x21"},
        {{"config"}, "space, a tab or a line break", "ftp://u:p@127.0.0.1:21\n/"},
        {{"lookup", "1-23-45678"}, "space, a tab or a line break", "ftp://u:p w@127.0.0.1"},
        {{"reports", "--send"}, "no user name", "ftp://127.0.0.1:21"},
        // FILE is checked before the port is opened, and never echoed raw.
        {{"write-kmt2", missing, "--port", "5"},
         "the file " + missing + " does not exist",
         nullptr},
        {{"write-kmt2", folder, "--port", "5"}, folder + " is a folder, not a file", nullptr},
        {{"write-efl", folder, "--port", "5"}, folder + " is a folder, not a file", nullptr},
        {{"write-kmt2", noise, "--port", "5"}, noise + " is not a firmware record file: ", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        if (c.server != nullptr) {
            setenv("VERIMANT_UPDATE_SERVER", QByteArray(c.server).replace("\\n", "\n").constData(),
                   1);
        }
        const CliResult result = runCli(c.arguments);
        unsetenv("VERIMANT_UPDATE_SERVER");
        EXPECT_EQ(result.exitCode, 2) << result.err;
        EXPECT_FALSE(result.err.isEmpty());
        EXPECT_TRUE(result.err.contains(c.says)) << result.err;
        EXPECT_FALSE(result.out.contains("Open COM")) << result.out;
        if (c.server != nullptr) {
            EXPECT_LE(result.err.count("VERIMANT_UPDATE_SERVER"), 1) << result.err;
        }
        EXPECT_FALSE(result.err.contains("s3cr3t")) << result.err;
    }
    EXPECT_EQ(instrument->framesReceived(), 0);

    // The random file shows as a short excerpt of printable ASCII and \xHH escapes.
    const CliResult noisy = runCli({"write-kmt2", noise, "--port", "5"});
    const QString excerpt = noisy.err.section('"', 1, 1);
    EXPECT_FALSE(excerpt.isEmpty()) << noisy.err;
    EXPECT_LE(excerpt.size(), 43) << excerpt;
    for (const QChar c : excerpt) {
        EXPECT_TRUE(c.unicode() >= 0x20 && c.unicode() < 0x7f) << noisy.err;
    }
    EXPECT_EQ(noisy.err.count('\n'), 2) << noisy.err;

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
