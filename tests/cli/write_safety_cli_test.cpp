// verimant-cli's firmware writes where something goes wrong: a file that cannot be written, a page
// that cannot be erased, the operator pressing Ctrl-C. Each must leave the instrument in a state
// the output describes, and a rerun must be able to complete it.

#include "sim/pty_instrument.h"
#include "tests/cli/cli_process.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace verimant::test {
namespace {

constexpr std::uint32_t kMainStart = 0x08004000;
constexpr int kPort = 5;

QString writeTestFile(const QString& name, const QByteArray& bytes) {
    const QString path = QDir::temp().filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    return path;
}

QByteArray varyingBytes(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        bytes[i] = char((i * 131 + (i >> 9)) & 0xFF);
    }
    return bytes;
}

QString demoFirmware() {
    return QStringLiteral(VERIMANT_SOURCE_DIR "/examples/verimant_kmt2_demo.hex");
}

class WriteSafetyCliTest : public ::testing::Test {
protected:
    sim::PtyInstrument& plugIn(sim::SimFaults faults = {}) {
        sim::InstrumentConfig config;
        config.checksumWordAddress = kMainStart + 0x10000 - 4;
        sim::PtyInstrumentOptions options;
        options.portNumber = kPort;
        options.faults = faults;
        options.resetDelayMs = 300;
        instrument = std::make_unique<sim::PtyInstrument>(config, options);
        QString error;
        EXPECT_TRUE(instrument->start(&error)) << error.toStdString();
        return *instrument;
    }

    sim::InstrumentMode mode() {
        return instrument->withInstrument([](sim::Instrument& device) { return device.mode(); });
    }

    std::unique_ptr<sim::PtyInstrument> instrument;
};

// A record file is checked before the port is opened (a file that is no whole record file is bad
// usage), then against the running instrument: one that would be refused never restarts it into
// its boot loader.
TEST_F(WriteSafetyCliTest, WriteKmt2RefusesABadFileBeforeRestartingTheInstrument) {
    plugIn();
    QFile demo(demoFirmware());
    ASSERT_TRUE(demo.open(QIODevice::ReadOnly));
    const QByteArray whole = demo.readAll();
    const struct {
        QString file;
        int exitCode;
        const char* says;
        bool opensPort;
    } cases[] = {
        {writeTestFile("cut.hex", whole.left(whole.indexOf(":00000001FF"))), 2,
         "is not a firmware record file: {END}-нет записи конца файла (line ", false},
        // Whole records, but all below the main firmware's region of this instrument.
        {writeTestFile("low.hex", ":020000040800F2\n:0400000001020304F2\n:00000001FF\n"), 1,
         "Нет данных для области ПО", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        const CliResult result = runCli({"write-kmt2", c.file, "--port", QString::number(kPort)});
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        EXPECT_TRUE(result.err.contains(QString::fromUtf8(c.says))) << result.err;
        EXPECT_EQ(result.out.contains("Open COM"), c.opensPort) << result.out;
        EXPECT_FALSE(result.out.contains("==>Device_goto_BOOT mode")) << result.out;
    }
    EXPECT_EQ(mode(), sim::InstrumentMode::MainFirmware);
    EXPECT_EQ(instrument->withInstrument(
                  [](sim::Instrument& device) { return device.flashOperations().size(); }),
              0u);
}

TEST_F(WriteSafetyCliTest, AFailedPageEraseSaysTheInstrumentWaitsForARerun) {
    sim::SimFaults faults;
    faults.silentEraseAt = kMainStart + 0x800;
    plugIn(faults);
    CliResult result = runCli({"write-kmt2", demoFirmware(), "--port", QString::number(kPort)});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.contains("Ошибка стирания страницы A=0x08004800: ERC[0]")) << result.out;
    EXPECT_TRUE(
        result.err.contains("Error: The main firmware was not written: the instrument "
                            "waits in its boot loader; run write-kmt2 again"))
        << result.err;
    EXPECT_EQ(mode(), sim::InstrumentMode::BootLoader);

    instrument->setFaults({});
    result = runCli({"write-kmt2", demoFirmware(), "--port", QString::number(kPort)});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(mode(), sim::InstrumentMode::MainFirmware);
}

// Ctrl-C in the middle of a write becomes the writer's cancel: the log says where it stopped, the
// error line says what is left, and the program ends normally instead of dying mid-request.
TEST_F(WriteSafetyCliTest, CtrlCDuringAWriteStopsItWithWordOfWhatIsLeft) {
    sim::SimFaults slow;
    slow.lateMs = 5;  // about 2000 chunks take at least ten seconds
    plugIn(slow);
    const QString data = writeTestFile("large.efl", varyingBytes(256 * 1024));

    QProcess cli;
    cli.start(builtProgram("verimant-cli"), {"write-efl", data, "--port", QString::number(kPort)});
    QByteArray out;
    while (!out.contains("# Writing: ") && cli.waitForReadyRead(30000)) {
        out += cli.readAllStandardOutput();
    }
    ASSERT_TRUE(out.contains("# Writing: ")) << out.toStdString();
    ::kill(pid_t(cli.processId()), SIGINT);
    ASSERT_TRUE(cli.waitForFinished(30000));
    out += cli.readAllStandardOutput();
    const QString err = QString::fromUtf8(cli.readAllStandardError());

    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(out).contains("# ОТМЕНЕНО. Записано до: A=0x"))
        << out.toStdString();
    EXPECT_TRUE(
        err.contains("Error: Writing stopped on Ctrl-C: the data image is only partly "
                     "written; run write-efl again to complete it"))
        << err;
}

}  // namespace
}  // namespace verimant::test
