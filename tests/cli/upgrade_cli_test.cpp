// verimant-cli upgrade and check as programs, against simulated instruments in this test's ports
// folder and a real FTP server serving the demo's update set.

#include "platform/temp_folder.h"
#include "sim/pty_instrument.h"
#include "tests/cli/cli_process.h"
#include "tests/device/sealed_firmware_region.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/update_set_folder.h"

#include <QDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace verimant::test {
namespace {

constexpr std::uint32_t kMainStart = 0x08004000;
constexpr std::uint32_t kChecksumAddress = kMainStart + 0x10000 - 4;

class UpgradeCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(set.copyDemoSet());
        // Two registered instruments whose report folders differ.
        ASSERT_TRUE(set.writeBase({"12345678;Verimant;278;2;1;1;1000;RU;0;0;0;0;0;0;0;0",
                                   "22345678;Verimant;278;2;1;1;1001;RU;0;0;0;0;0;0;0;0"}));
        QString problem;
        ASSERT_TRUE(server.start(&problem)) << problem;
        server.exportToEnvironment();
    }

    sim::PtyInstrument& plugIn(int port, const QString& serial) {
        sim::InstrumentConfig config;
        config.serial = serial;
        config.checksumWordAddress = kChecksumAddress;
        sim::PtyInstrumentOptions options;
        options.portNumber = port;
        options.resetDelayMs = 300;
        instruments.push_back(std::make_unique<sim::PtyInstrument>(config, options));
        QString error;
        EXPECT_TRUE(instruments.back()->start(&error)) << error;
        return *instruments.back();
    }

    static QStringList toolFolderEntries() {
        return QDir(toolTempFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }

    UpdateSetFolder set{testRootDir() + "/server"};
    FtpTestServer server{set.root()};
    std::vector<std::unique_ptr<sim::PtyInstrument>> instruments;
};

TEST_F(UpgradeCliTest, TwoInstrumentsAreUpgradedAtOnceEachFromItsOwnFolderAndReportedToTheServer) {
    sim::PtyInstrument& first = plugIn(7, "12345678");
    sim::PtyInstrument& second = plugIn(8, "22345678");
    const QStringList common{"upgrade", "--packet", "RU_EN", "--yes"};
    QProcess runs[2];
    runs[0].start(builtProgram("verimant-cli"),
                  common + QStringList{"--port", "7", "--language", "RUS"});
    runs[1].start(builtProgram("verimant-cli"),
                  common + QStringList{"--port", "8", "--language", "0"});
    for (QProcess& run : runs) {
        run.closeWriteChannel();
    }
    for (QProcess& run : runs) {
        ASSERT_TRUE(run.waitForFinished(120000));
        const QString out = QString::fromUtf8(run.readAllStandardOutput());
        const QString err = QString::fromUtf8(run.readAllStandardError());
        EXPECT_EQ(run.exitCode(), 0) << err << "\n" << out;
        EXPECT_TRUE(err.contains("Information: Поздравляем!!! Обновление успешно завершено!") ||
                    err.contains("Information: Congratulations!!!  Udating successfully finished!"))
            << err;
        EXPECT_TRUE(out.contains("OK NEW LANGUAGE = ")) << out;
    }

    const QByteArray data = set.file("verimant_efl_ru_en_1_6.bin");
    const QByteArray region =
        sealedFirmwareRegion(set.file("verimant_kmt2_3_2.hex"), kMainStart, kChecksumAddress);
    ASSERT_FALSE(region.isEmpty());
    for (sim::PtyInstrument* instrument : {&first, &second}) {
        instrument->withInstrument([&](sim::Instrument& device) {
            EXPECT_TRUE(device.externalFlash().read(0, int(data.size())) == data);
            EXPECT_TRUE(device.processorFlash().read(kMainStart, int(region.size())) == region);
            EXPECT_EQ(device.parameter(6).value_or(-1), 0);
        });
    }
    for (const char* folder : {"/log4/1_23/45xxx/6xx/rep.txt", "/log4/2_23/45xxx/6xx/rep.txt"}) {
        const QByteArray report = set.file(QString::fromLatin1(folder).mid(1));
        EXPECT_TRUE(report.contains("==>Update_EFL")) << folder;
        EXPECT_TRUE(report.contains("END: ")) << folder;
    }
    EXPECT_TRUE(toolFolderEntries().isEmpty()) << toolFolderEntries().join(' ');
}

TEST_F(UpgradeCliTest, CheckPrintsWhatWouldChangeAndWritesNothing) {
    sim::PtyInstrument& instrument = plugIn(7, "12345678");

    CliResult result = runCli({"check", "--port", "7", "--packet", "EURO"});

    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    EXPECT_TRUE(
        result.out.contains("instrument: 1-23-45678, TRV-278.2, model 'T23', KMT2 2.3, "
                            "EFL 1.5\n"
                            "record: board 278, board version 2, language set RU\n"
                            "packet: EURO\n"
                            "firmware set: SOFT_SET:TRV-278.V2.T23.EURO: KMT2 3.2 "
                            "(verimant_kmt2_3_2.hex), EFL 1.6 "
                            "(verimant_efl_euro_1_6.bin)\n"
                            "changes: KMT2 [2.3] --> [3.2]\n"
                            "  EFL  [1.5] --> [1.6]\n"))
        << result.out;
    EXPECT_FALSE(result.err.contains("Question")) << result.err;

    // Several packets and nobody to ask: the run stops before the firmware set is fetched.
    result = runCli({"check", "--port", "7"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(
        result.err.contains("several packets are offered (RU_EN, EURO): choose one with "
                            "--packet NAME"))
        << result.err;
    EXPECT_FALSE(result.out.contains("Чтение из сервера [verimant_kmt2")) << result.out;

    // A packet the instrument is not offered, and a language the catalogue does not know.
    result = runCli({"upgrade", "--port", "7", "--packet", "ASIA", "--yes"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(
        result.err.contains("the packet 'ASIA' is not offered for this instrument; "
                            "offered: RU_EN, EURO"))
        << result.err;
    result = runCli({"upgrade", "--port", "7", "--packet", "RU_EN", "--language", "KLINGON"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_FALSE(result.out.contains("==>DeviceInformation_Get")) << result.out;

    instrument.withInstrument(
        [](sim::Instrument& device) { EXPECT_TRUE(device.flashOperations().empty()); });
    EXPECT_TRUE(toolFolderEntries().isEmpty()) << toolFolderEntries().join(' ');
}

}  // namespace
}  // namespace verimant::test
