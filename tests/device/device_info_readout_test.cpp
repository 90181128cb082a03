#include "device/device_info.h"

#include "base/ui_language.h"
#include "device/device_info_texts.h"
#include "tests/device/simulated_device.h"

#include <QMap>

#include <gtest/gtest.h>

namespace verimant {
namespace {

using test::SimulatedDevice;

class MapModelNames final : public ModelNameLookup {
public:
    explicit MapModelNames(QMap<QString, QString> names) : names_(std::move(names)) {}
    QString modelName(const QString& modelKey) const override { return names_.value(modelKey); }

private:
    QMap<QString, QString> names_;
};

class DeviceInfoReadout : public ::testing::Test {
protected:
    void SetUp() override { setUiLanguage(UiLanguage::English); }
};

TEST_F(DeviceInfoReadout, FullReadoutFillsTheRecordAndLogsEveryStepInOrder) {
    SimulatedDevice device;  // serial 12345678, board type 3 version 2, assembling 1:1
    ASSERT_TRUE(device.start());
    const MapModelNames names({{"Y23", "Compact"}, {"Y5", "Other"}});
    DeviceInfo info;

    ASSERT_TRUE(DeviceInformation_Get(device.session, info, names));

    EXPECT_EQ(device.logLines(), QStringList({
                                     "==>DeviceInformation_Get",
                                     "    Information from Device Recieved:",
                                     "UID   : 01:02:03:04:05:06:07:08:09:0A:0B:0C",
                                     "S/N   : 1-23-45678",
                                     "Board : TRV-278.2",
                                     "BoardY: (1:1)",
                                     "BOOT  : 4.16",
                                     "KMT2  : 2.3",
                                     "==>DeviceExtFlashVersion_Get",
                                     "EFL   : 1.5",
                                 }));
    EXPECT_TRUE(info.valid);
    EXPECT_EQ(info.boardRecord.raw[9], 0x21);
    EXPECT_EQ(info.boardRecord.raw[10], 0x43);
    EXPECT_EQ(info.boardRecord.raw[11], 0x65);
    EXPECT_EQ(info.boardRecord.raw[12], 0x87);
    EXPECT_EQ(info.modelName, "Compact");
    EXPECT_EQ(info.eflVersion, 0x0105);
    EXPECT_EQ(info.programInfo.bootVersion, 0x0410);
    EXPECT_EQ(info.programInfo.mainVersion, 0x0203);
    EXPECT_EQ(info.uid[11], 0x0C);
    EXPECT_TRUE(device.dialogs.boxes.isEmpty());
    EXPECT_TRUE(device.commands.hasProgramInfo());
    EXPECT_TRUE(device.commands.hasPlatformDescription());

    const DeviceInfoTexts texts = deviceInfoTexts(info);
    EXPECT_EQ(texts.groupCaption, "Verimant - Compact");
    EXPECT_EQ(texts.serialNumber, "1-23-45678");
    EXPECT_EQ(texts.uid, "01:02:03:04:05:06:07:08:09:0A:0B:0C");
    EXPECT_EQ(texts.boardVersion, "TRV-278.2");
    EXPECT_EQ(texts.boardAssembling, "(1:1)");
    EXPECT_EQ(texts.softwareBoot, "4.16");
    EXPECT_EQ(texts.softwareMain, "2.3");
    EXPECT_EQ(texts.softwareExternal, "1.5");
}

TEST_F(DeviceInfoReadout, MovedBoardRecordOfTheSmallProcessorIsFoundAndNamed) {
    sim::InstrumentConfig config;
    config.processorType = 1;
    config.boardRecordField = 0x8002780;  // the record lies at 0x80027F0
    config.boardType = 1;
    config.boardVersion = 4;
    config.assembling1 = 1;
    config.assembling2 = 3;
    config.serial = "9-05-00017";
    SimulatedDevice device(config);
    ASSERT_TRUE(device.start());
    DeviceInfo info;

    ASSERT_TRUE(DeviceInformation_Get(device.session, info, noModelNames()));

    const QStringList lines = device.logLines();
    EXPECT_TRUE(lines.contains("S/N   : 9-05-00017"));
    EXPECT_TRUE(lines.contains("Board : TRV-245.4"));
    EXPECT_TRUE(lines.contains(QStringLiteral("BoardY: F4:L=107_New_ПЭ")));
    EXPECT_TRUE(info.modelName.isEmpty());
    EXPECT_EQ(deviceInfoTexts(info).groupCaption, "") << "no model name, no caption";
}

TEST_F(DeviceInfoReadout, BootLoaderGivesAValidRecordWithAWarningAndNoExternalFlashRead) {
    sim::InstrumentConfig config;
    config.startMode = sim::InstrumentMode::BootLoader;
    SimulatedDevice device(config);
    ASSERT_TRUE(device.start());
    DeviceInfo info;
    info.eflVersion = 0x0304;  // from an earlier readout

    ASSERT_TRUE(DeviceInformation_Get(device.session, info, noModelNames()));

    EXPECT_TRUE(info.valid);
    EXPECT_EQ(info.eflVersion, 0x0304) << "kept, as nothing was read";
    EXPECT_EQ(device.requests(0x02, 0x02), 0) << "no external-flash read in the boot loader";
    const QStringList lines = device.logLines();
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.mid(lines.size() - 3),
              QStringList({"BOOT  : 4.16", "KMT2  : 0.0", "Attention! Device in BOOT mode!"}));
    EXPECT_EQ(device.dialogs.textsOf("warning"),
              QStringList({"Attention!\nDevice is in BOOT mode!"}));

    setUiLanguage(UiLanguage::Russian);
    device.dialogs.boxes.clear();
    ASSERT_TRUE(DeviceInformation_Get(device.session, info, noModelNames()));
    EXPECT_EQ(device.dialogs.textsOf("warning"),
              QStringList({QStringLiteral("Внимание!\nПрибор находится в режиме загрузчика!")}));
}

TEST_F(DeviceInfoReadout, UnlistedProcessorTypeFailsAtTheUniqueId) {
    sim::InstrumentConfig config;
    config.processorType = 99;
    SimulatedDevice device(config);
    ASSERT_TRUE(device.start());
    DeviceInfo info;

    EXPECT_FALSE(DeviceInformation_Get(device.session, info, noModelNames()));

    EXPECT_FALSE(info.valid);
    EXPECT_EQ(device.logLines(),
              QStringList({"==>DeviceInformation_Get", "    Information from Device Recieved:",
                           "    ERROR reading UID: ERC[0]"}));
    EXPECT_TRUE(device.dialogs.boxes.isEmpty()) << "nothing was asked, so nothing timed out";
}

TEST_F(DeviceInfoReadout, EarlyBootLoaderKeepsItsUniqueIdAtTheFixedPlaceWhateverTheType) {
    sim::InstrumentConfig config;
    config.processorType = 99;
    config.bootVersion = 0x0106;
    SimulatedDevice device(config);
    ASSERT_TRUE(device.start());
    DeviceInfo info;

    ASSERT_TRUE(DeviceInformation_Get(device.session, info, noModelNames()));
    EXPECT_TRUE(device.logLines().contains("UID   : 01:02:03:04:05:06:07:08:09:0A:0B:0C"));
}

TEST_F(DeviceInfoReadout, UnreadableExternalFlashVersionOnlyZeroesIt) {
    sim::InstrumentConfig config;
    config.eflVersionText = "V1.2a";
    SimulatedDevice device(config);
    ASSERT_TRUE(device.start());
    DeviceInfo info;
    info.eflVersion = 0x0101;

    ASSERT_TRUE(DeviceInformation_Get(device.session, info, noModelNames()));

    EXPECT_TRUE(info.valid);
    EXPECT_EQ(info.eflVersion, 0);
    const QStringList lines = device.logLines();
    EXPECT_EQ(lines.mid(lines.size() - 3),
              QStringList({"==>DeviceExtFlashVersion_Get",
                           "Error reading version of EXT_EFL: ERC[0]", "EFL   : 0.0"}));
}

TEST_F(DeviceInfoReadout, SilentInstrumentFailsAtTheFirstStepAndKeepsAnEarlierGoodRecord) {
    SimulatedDevice device;
    ASSERT_TRUE(device.start());
    DeviceInfo info;
    ASSERT_TRUE(DeviceInformation_Get(device.session, info, noModelNames()));
    device.log.clear();

    sim::SimFaults silent;
    silent.silentAfter = 0;
    device.instrument().setFaults(silent);
    EXPECT_FALSE(DeviceInformation_Get(device.session, info, noModelNames()));

    EXPECT_TRUE(info.valid) << "a failed readout does not undo a good one";
    EXPECT_EQ(info.eflVersion, 0x0105);
    EXPECT_EQ(device.logLines(),
              QStringList({"==>DeviceInformation_Get", "    Information from Device Recieved:",
                           "    ERROR reading Inf1: ERC[0]"}));
    EXPECT_TRUE(device.dialogs.boxes.isEmpty()) << "the description is read without report";
    EXPECT_FALSE(device.commands.hasPlatformDescription());
}

TEST_F(DeviceInfoReadout, InstrumentThatStopsAnsweringBeforeTheVersionsFailsThere) {
    SimulatedDevice device;
    ASSERT_TRUE(device.start());
    DeviceInfo info;
    // Program information, three description pieces, board record, UID: then silence.
    sim::SimFaults faults;
    faults.silentAfter = 6;
    device.instrument().setFaults(faults);

    EXPECT_FALSE(DeviceInformation_Get(device.session, info, noModelNames()));

    const QStringList lines = device.logLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.last(), "   ERROR reading SW Version: ERC[0]");
    EXPECT_TRUE(lines.contains("BoardY: (1:1)"));
    EXPECT_FALSE(info.valid);
    EXPECT_EQ(device.dialogs.textsOf("error"),
              QStringList({"No answer in reading information about Programm"}));
}

}  // namespace
}  // namespace verimant
