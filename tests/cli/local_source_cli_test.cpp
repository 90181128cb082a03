// verimant-cli with --source: an upgrade, lookups and the report from a folder laid out like the
// update server, with no server reachable.

#include "platform/temp_folder.h"
#include "tests/cli/offline_set_fixture.h"
#include "tests/device/sealed_firmware_region.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace verimant::test {
namespace {

const QString kFirmware = QStringLiteral("verimant_kmt2_3_2.hex");
const QString kReport = QStringLiteral("log4/1_23/45xxx/6xx/rep.txt");

class LocalSourceCliTest : public OfflineSetTest {
protected:
    LocalSourceCliTest() : OfflineSetTest(QStringLiteral("offline-set")) {}
};

TEST_F(LocalSourceCliTest, UpgradeFromTheFolderWritesTheFilesAndReportsIntoIt) {
    sim::PtyInstrument& device = plugIn();
    const CliResult result = upgrade();
    ASSERT_EQ(result.exitCode, 0) << result.err << "\n" << result.out.right(3000);
    EXPECT_TRUE(result.out.contains("DATA SOURCE = LOCAL [" + set.root() + "]")) << result.out;
    EXPECT_FALSE(result.out.contains("Нет соединения с сервером")) << result.out;

    const QByteArray data = set.file("verimant_efl_ru_en_1_6.bin");
    const QByteArray region =
        sealedFirmwareRegion(set.file(kFirmware), kMainStart, kChecksumAddress);
    ASSERT_FALSE(region.isEmpty());
    device.withInstrument([&](sim::Instrument& d) {
        EXPECT_TRUE(d.externalFlash().read(0, int(data.size())) == data);
        EXPECT_TRUE(d.processorFlash().read(kMainStart, int(region.size())) == region);
    });
    // The report as the server would keep it: CP1251 lines, each ended by one line feed.
    const QByteArray report = set.file(kReport);
    EXPECT_TRUE(report.contains("==>Update_EFL")) << report.right(2000).toStdString();
    EXPECT_TRUE(report.endsWith("========================================\n"));
    EXPECT_FALSE(report.contains('\r'));
    EXPECT_TRUE(report.contains("\xCE\xE1\xED\xEE\xE2\xEB\xE5\xED\xE8\xE5"))  // "Обновление"
        << "not CP1251";

    // A second run appends to the same report.
    instrument.reset();
    plugIn();
    upgrade();
    EXPECT_TRUE(set.file(kReport).startsWith(report));
    EXPECT_GT(set.file(kReport).count("END: "), report.count("END: "));
}

TEST_F(LocalSourceCliTest, LookupsReadTheFolderAndSayWhenAFileIsMissing) {
    CliResult result = runCli({"lookup", "12345678", "--source", set.root()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.out.contains("Board          : TRV-278.2")) << result.out;

    qputenv("VERIMANT_UPDATE_SOURCE", set.root().toUtf8());
    result = runCli({"config"});
    EXPECT_EQ(result.exitCode, 0) << result.err;

    ASSERT_TRUE(QFile::remove(set.root() + "/verimant_sn_base.bin"));
    result = runCli({"lookup", "12345678"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(
        result.err.contains("could not fetch the serial-number base "
                            "'verimant_sn_base.bin' from the folder " +
                            set.root()))
        << result.err;
    qunsetenv("VERIMANT_UPDATE_SOURCE");
}

// A configuration in the folder may name a file that reaches outside it: through ".." or through
// a link planted in the folder. The upgrade stops before the instrument is written.
TEST_F(LocalSourceCliTest, ANameReachingOutOfTheFolderIsRefusedBeforeAnythingIsWritten) {
    const QString outside = testRootDir() + "/outside-set";
    QDir(outside).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(outside));
    ASSERT_TRUE(QFile::copy(set.root() + "/" + kFirmware, outside + "/" + kFirmware));
    const std::vector<std::pair<QString, QString>> names = {
        {"..\\outside-set\\" + kFirmware, "\"..\" in the name"},
        {"fw\\" + kFirmware, "a link leads outside the folder"},
    };
    for (const auto& [name, why] : names) {
        SCOPED_TRACE(name.toStdString());
        SetUp();
        ASSERT_TRUE(QFile::link(outside, set.root() + "/fw"));
        ASSERT_TRUE(set.editConfig("NAME=" + kFirmware, "NAME=" + name));
        sim::PtyInstrument& device = plugIn();

        const CliResult result = upgrade();
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(result.out.contains(why)) << result.out.right(3000);
        device.withInstrument([](sim::Instrument& d) { EXPECT_TRUE(d.flashOperations().empty()); });
        EXPECT_TRUE(QDir(toolTempFolder()).isEmpty());
    }
}

}  // namespace
}  // namespace verimant::test
