#include "device/firmware_record_file.h"
#include "device/flash_image.h"
#include "tests/cli/cli_process.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <gtest/gtest.h>

namespace verimant::test {
namespace {

constexpr std::uint32_t kFlashBase = 0x08000000;
constexpr std::uint32_t kMainStart = 0x08004000;
constexpr std::uint32_t kRegion = 0x10000;
constexpr int kPort = 11;

QString demoFirmware() {
    return QStringLiteral(VERIMANT_SOURCE_DIR "/examples/verimant_kmt2_demo.hex");
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

QString writeDataFile(const QString& name, int size) {
    QByteArray data(size, '\0');
    for (int i = 0; i < data.size(); ++i) {
        data[i] = char((i * 131 + (i >> 9)) & 0xFF);
    }
    const QString path = QDir::temp().filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(data) == data.size());
    return path;
}

// verimant-sim on COM<kPort>, saving its state into `saveDir` when it is terminated.
class SimProcess {
public:
    SimProcess(const QString& saveDir, const QStringList& extra) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(builtProgram("verimant-sim"),
                       QStringList{"--port", QString::number(kPort), "--reset-delay-ms", "300",
                                   "--save-dir", saveDir} +
                           extra);
    }
    ~SimProcess() { stop(); }

    bool waitForLink() {
        const QString link =
            qEnvironmentVariable("VERIMANT_PORTS_DIR") + "/COM" + QString::number(kPort);
        for (int i = 0; i < 100; ++i) {
            if (QFileInfo(link).isSymLink()) {
                return true;
            }
            QThread::msleep(50);
        }
        return false;
    }

    // SIGTERM: the simulator saves its flashes and leaves.
    void stop() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            process_.waitForFinished(10000);
        }
    }

private:
    QProcess process_;
};

TEST(FirmwareWriteCli, WriteKmt2GoesThroughTheBootLoaderAndBackToTheMainFirmware) {
    const QString saveDir = QDir::temp().filePath("sim_state");
    SimProcess sim(
        saveDir, {"--mode", "main", "--checksum-word", QString::number(kMainStart + kRegion - 4)});
    ASSERT_TRUE(sim.waitForLink());

    const CliResult result =
        runCli({"write-kmt2", demoFirmware(), "--port", QString::number(kPort)});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.out.contains("==>Device_goto_BOOT mode")) << result.out;
    EXPECT_TRUE(result.out.contains("100% 64Кб "));
    EXPECT_TRUE(result.out.trimmed().endsWith("Close COM 11 : OK")) << result.out;
    EXPECT_TRUE(result.out.contains("==>Device_GoTo_KMT2\n")) << result.out;
    sim.stop();

    QByteArray image = makeFlashImage(3, 256 * 1024);
    auto* bytes = reinterpret_cast<std::uint8_t*>(image.data());
    ASSERT_TRUE(buildImageFromRecords(readAll(demoFirmware()), {bytes, size_t(image.size())}).ok);
    const auto region =
        firmwareRegion(image.size(), kFlashBase, kMainStart, kMainStart + kRegion - 4);
    ASSERT_TRUE(region.has_value());
    ASSERT_TRUE(sealFirmwareImage(image, *region, 0xFF));
    const QByteArray flash = readAll(saveDir + "/processor_flash.bin");
    ASSERT_EQ(flash.size(), image.size());
    EXPECT_TRUE(flash.mid(region->start, region->length()) ==
                image.mid(region->start, region->length()));
}

int framesReceived(const QString& statsFile) {
    for (const QByteArray& line : readAll(statsFile).split('\n')) {
        if (line.startsWith("frames_received: ")) {
            return line.mid(17).toInt();
        }
    }
    ADD_FAILURE() << "no frame count in " << statsFile.toStdString();
    return -1;
}

// The demo firmware fills a few KiB of its 64 KiB region: without --write-all the chunks of
// nothing but fill bytes stay off the line; with it all 512 go.
TEST(FirmwareWriteCli, WriteAllSendsTheChunksThatOnlyRepeatTheErasedState) {
    int frames[2] = {};
    for (const bool writeAll : {false, true}) {
        SCOPED_TRACE(writeAll ? "--write-all" : "sparse");
        const QString saveDir = QDir::temp().filePath("sim_state");
        const QString stats = QDir::temp().filePath("sim_stats.txt");
        SimProcess sim(saveDir, {"--mode", "main", "--checksum-word",
                                 QString::number(kMainStart + kRegion - 4), "--stats-file", stats});
        ASSERT_TRUE(sim.waitForLink());
        QStringList arguments{"write-kmt2", demoFirmware(), "--port", QString::number(kPort)};
        if (writeAll) {
            arguments << "--write-all";
        }
        const CliResult result = runCli(arguments);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_TRUE(result.out.contains("100% 64Кб ")) << result.out;
        sim.stop();
        frames[writeAll] = framesReceived(stats);
    }
    EXPECT_GT(frames[true] - frames[false], 256) << frames[false] << " " << frames[true];
}

// The first run names a file that is not there: it is refused before the port is opened, so the
// instrument stays as it was. The second run starts the main firmware and writes, the
// signature policy notwithstanding.
TEST(FirmwareWriteCli, WriteEflStartsTheMainFirmwareAndCopiesTheFile) {
    const QString saveDir = QDir::temp().filePath("sim_state");
    SimProcess sim(saveDir, {"--mode", "boot"});
    ASSERT_TRUE(sim.waitForLink());
    const QString path = writeDataFile("data.efl", 40000 + 7);
    const QByteArray data = readAll(path);

    CliResult result = runCli(
        {"write-efl", QDir::temp().filePath("absent.efl"), "--port", QString::number(kPort)});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.contains("absent.efl does not exist")) << result.err;
    EXPECT_FALSE(result.out.contains("Open COM")) << result.out;

    // A service command: the signature policy says it does not cover the file, once, and goes on.
    result = runCli({"write-efl", path, "--port", QString::number(kPort), "--require-signature"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err.count("Warning: write-efl is a service command: the signature policy "
                               "covers update sets, not " +
                               path),
              1)
        << result.err;
    EXPECT_TRUE(result.out.contains("# Writing: 100% 39KB [>>>>>>>>>>>>>>>>>>>>>>>>>]"));
    sim.stop();

    EXPECT_TRUE(readAll(saveDir + "/external_flash.bin").left(data.size()) == data);
    const QByteArray screen = readAll(saveDir + "/screen_texts.txt");
    EXPECT_TRUE(screen.contains("END OF WRITE"));
    EXPECT_EQ(screen.count("PC CONNECTED"), 1) << "the failed run showed nothing";
}

// Neither writer may count as written what did not reach this instrument's flash: another
// instrument behind the port after the restart gets nothing, and a byte the flash did not take
// fails the write, by default as with --verify. Only --no-verify lets it pass unread (for the main
// firmware the boot loader's checksum then catches it).
TEST(FirmwareWriteCli, AWriteCountsOnlyWhatLandedInThisInstrument) {
    struct Case {
        const char* command;
        const char* startMode;
        QString file;
        QStringList fault;  // simulator options
        QStringList extra;  // command-line options
        QString outLine;    // in the log
        QString errLine;    // on standard error
        int exitCode = 1;
    };
    const QString data = writeDataFile("verify.efl", 9000);
    const QStringList otherAfterRestart{"--serial-after-restart", "87654321"};
    const QStringList stuckData{"--stuck-byte-at", QString::number(0x1234)};
    const QStringList stuckFirmware{"--stuck-byte-at", QString::number(kMainStart + 3)};
    const QString dataMismatch = "# ПРОВЕРКА: расхождение с A=0x001234, байт: 1";
    const QString firmwareMismatch = "# ПРОВЕРКА: расхождение с A=0x8004003, байт: 1";
    const QString other =
        "На COM 11 отвечает другой прибор (SN=8-76-54321, ожидался SN=1-23-45678)";
    // The error line, and so the JSON document's error, names the address and both bytes.
    const QString dataError =
        "Error: the read-back differs from the file at 0x00001234: 0xA5 written, 0xFF read";
    const QString firmwareError =
        "Error: the read-back differs from the file at 0x08004003: 0x20 written, 0xFF read";
    // The data byte at 0x1234 is 0xA5, the record file's byte at the main start + 3 is 0x20: the
    // erased state that a stuck byte keeps differs from both.
    const Case cases[] = {
        {"write-kmt2", "main", demoFirmware(), otherAfterRestart, {}, "", other},
        {"write-efl", "boot", data, otherAfterRestart, {}, "", other},
        {"write-efl", "boot", data, stuckData, {"--verify"}, dataMismatch, dataError},
        {"write-kmt2",
         "main",
         demoFirmware(),
         stuckFirmware,
         {"--verify"},
         firmwareMismatch,
         firmwareError},
        {"write-efl", "boot", data, stuckData, {}, dataMismatch, dataError},
        {"write-kmt2", "main", demoFirmware(), stuckFirmware, {}, firmwareMismatch, firmwareError},
        {"write-efl", "boot", data, stuckData, {"--no-verify"}, "", "", 0},
        // Unread, the stuck byte still breaks the checksum word: the boot loader keeps the
        // firmware from starting, and the command says where the instrument is.
        {"write-kmt2",
         "main",
         demoFirmware(),
         stuckFirmware,
         {"--no-verify"},
         "",
         "Error: The instrument restarted into its boot loader"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command + (" " + c.fault.join(' ')).toStdString());
        SimProcess sim(QDir::temp().filePath("sim_state"),
                       QStringList{"--mode", c.startMode, "--checksum-word",
                                   QString::number(kMainStart + kRegion - 4)} +
                           c.fault);
        ASSERT_TRUE(sim.waitForLink());
        const CliResult result =
            runCli(QStringList{c.command, c.file, "--port", QString::number(kPort)} + c.extra);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        EXPECT_TRUE(result.err.contains(c.errLine)) << result.err;
        if (c.exitCode == 0 || c.extra.contains("--no-verify")) {
            EXPECT_FALSE(result.out.contains("# ПРОВЕРКА")) << result.out;
        } else if (c.outLine.isEmpty()) {
            EXPECT_FALSE(result.out.contains("==>Update_")) << result.out;
        } else {
            EXPECT_TRUE(result.out.contains(c.outLine)) << result.out;
            EXPECT_TRUE(result.out.contains(QString::fromUtf8("не выполнено - проверка записи")));
        }
        // The history keeps each write, a failed one too, against the instrument it was meant for.
        const QJsonArray runs = QJsonDocument::fromJson(runCli({"history", "--json"}).out.toUtf8())
                                    .object()
                                    .value("runs")
                                    .toArray();
        ASSERT_FALSE(runs.isEmpty());
        const QJsonObject newest = runs.first().toObject();
        EXPECT_EQ(newest.value("kind").toString(), c.command);
        EXPECT_EQ(newest.value("result").toString(), c.exitCode == 0 ? "written" : "failed");
        EXPECT_EQ(newest.value("serial").toString(), "1-23-45678");
        EXPECT_EQ(newest.value("verified").toBool(), !c.extra.contains("--no-verify"));
        EXPECT_EQ(newest.value("failure").toString().isEmpty(), c.exitCode == 0);
        EXPECT_EQ(newest.value("source").toString(), c.file);
    }
}

}  // namespace
}  // namespace verimant::test
