#include "device/device_info.h"

#include "base/ui_language.h"
#include "device/device_info_texts.h"
#include "device/ext_flash_version.h"
#include "tests/device/simulated_device.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <optional>

namespace verimant {
namespace {

using test::SimulatedDevice;

class MapModelNames final : public ModelNameLookup {
public:
    QString modelName(const QString& modelKey) const override {
        return modelKey == "Y23" ? QStringLiteral("Compact") : QString();
    }
};

class DeviceInfoReadout : public ::testing::Test {
protected:
    void SetUp() override { setUiLanguage(UiLanguage::English); }

    // A readout of a fresh instrument built from `config`, after `silentAfter` answered requests.
    bool readOut(sim::InstrumentConfig config = {}, int silentAfter = -1) {
        device.emplace(std::move(config));
        if (!device->start()) {
            return false;
        }
        device->silence(silentAfter);
        return DeviceInformation_Get(device->session, info, noModelNames());
    }

    std::optional<SimulatedDevice> device;
    DeviceInfo info;
};

TEST_F(DeviceInfoReadout, FullReadoutFillsTheRecordAndLogsEveryStepInOrder) {
    SimulatedDevice device;  // serial 12345678, board type 3 version 2, assembling 1:1
    ASSERT_TRUE(device.start());

    ASSERT_TRUE(DeviceInformation_Get(device.session, info, MapModelNames()));

    EXPECT_EQ(device.logLines(),
              QStringList({"==>DeviceInformation_Get", "    Information from Device Recieved:",
                           "UID   : 01:02:03:04:05:06:07:08:09:0A:0B:0C", "S/N   : 1-23-45678",
                           "Board : TRV-278.2", "BoardY: (1:1)", "BOOT  : 4.16", "KMT2  : 2.3",
                           "==>DeviceExtFlashVersion_Get", "EFL   : 1.5"}));
    EXPECT_TRUE(info.valid);
    EXPECT_EQ(info.modelName, "Compact");
    EXPECT_EQ(info.eflVersion, 0x0105);
    EXPECT_EQ(info.programInfo.mainVersion, 0x0203);
    EXPECT_EQ(deviceInfoTexts(info).uid, "01:02:03:04:05:06:07:08:09:0A:0B:0C");
    EXPECT_EQ(deviceInfoTexts(info).serialNumber, "1-23-45678");
    EXPECT_TRUE(device.dialogs.boxes.isEmpty());
    EXPECT_TRUE(device.commands.hasProgramInfo() && device.commands.hasPlatformDescription());
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
    ASSERT_TRUE(readOut(config));

    const QStringList lines = device->logLines();
    EXPECT_TRUE(lines.contains("S/N   : 9-05-00017"));
    EXPECT_TRUE(lines.contains("Board : TRV-245.4"));
    EXPECT_TRUE(lines.contains(QStringLiteral("BoardY: F4:L=107_New_ПЭ")));
    EXPECT_EQ(deviceInfoTexts(info).groupCaption, "") << "no model name, no caption";
}

TEST_F(DeviceInfoReadout, BootLoaderGivesAValidRecordWithAWarningAndNoExternalFlashRead) {
    sim::InstrumentConfig config;
    config.startMode = sim::InstrumentMode::BootLoader;
    info.eflVersion = 0x0304;  // from an earlier readout
    ASSERT_TRUE(readOut(config));

    EXPECT_TRUE(info.valid);
    EXPECT_EQ(info.eflVersion, 0x0304) << "kept, as nothing was read";
    EXPECT_EQ(device->requests(0x02, 0x02), 0) << "no external-flash read in the boot loader";
    const QStringList lines = device->logLines();
    EXPECT_EQ(lines.mid(lines.size() - 3),
              QStringList({"BOOT  : 4.16", "KMT2  : 0.0", "Attention! Device in BOOT mode!"}));
    EXPECT_EQ(device->dialogs.textsOf("warning"),
              QStringList({"Attention!\nDevice is in BOOT mode!"}));

    setUiLanguage(UiLanguage::Russian);
    device->dialogs.boxes.clear();
    ASSERT_TRUE(DeviceInformation_Get(device->session, info, noModelNames()));
    EXPECT_EQ(device->dialogs.textsOf("warning"),
              QStringList({QStringLiteral("Внимание!\nПрибор находится в режиме загрузчика!")}));
}

// An unlisted processor has no known place for its unique identifier, unless its boot loader is
// an early one, which keeps it at one fixed place whatever the type.
TEST_F(DeviceInfoReadout, UnlistedProcessorTypeFailsAtTheUniqueIdUnlessTheBootLoaderIsEarly) {
    for (const std::uint16_t boot : {std::uint16_t(0x0410), std::uint16_t(0x0106)}) {
        SCOPED_TRACE(boot);
        sim::InstrumentConfig config;
        config.processorType = 99;
        config.bootVersion = boot;
        info = {};
        const bool early = boot < 0x0400;
        EXPECT_EQ(readOut(config), early);
        EXPECT_EQ(info.valid, early);
        const QString uidLine =
            early ? "UID   : 01:02:03:04:05:06:07:08:09:0A:0B:0C" : "    ERROR reading UID: ERC[0]";
        EXPECT_EQ(device->logLines().mid(0, early ? 3 : 4),
                  QStringList({"==>DeviceInformation_Get",
                               "    Information from Device Recieved:", uidLine}));
        EXPECT_TRUE(device->dialogs.boxes.isEmpty()) << "nothing was asked, so nothing timed out";
    }
}

TEST_F(DeviceInfoReadout, UnreadableExternalFlashVersionOnlyZeroesIt) {
    sim::InstrumentConfig config;
    config.eflVersionText = "V1.2a";
    info.eflVersion = 0x0101;
    ASSERT_TRUE(readOut(config));

    EXPECT_TRUE(info.valid);
    EXPECT_EQ(info.eflVersion, 0);
    const QStringList lines = device->logLines();
    EXPECT_EQ(lines.mid(lines.size() - 3),
              QStringList({"==>DeviceExtFlashVersion_Get",
                           "Error reading version of EXT_EFL: ERC[0]", "EFL   : 0.0"}));
}

// The description is read without report, the versions with it. A failed readout does not undo
// an earlier good one.
TEST_F(DeviceInfoReadout, InstrumentFallingSilentFailsAtTheStepItStopsAt) {
    struct Case {
        int silentAfter;
        QString lastLine;
        QStringList errorBoxes;
    };
    const Case cases[] = {
        {0, "    ERROR reading Inf1: ERC[0]", {}},
        // Program information, three description pieces, board record, UID: then silence.
        {6,
         "   ERROR reading SW Version: ERC[0]",
         {"No answer in reading information about Programm"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.silentAfter);
        info = {};
        info.valid = c.silentAfter == 0;  // the earlier readout was good
        info.eflVersion = 0x0105;
        EXPECT_FALSE(readOut({}, c.silentAfter));

        EXPECT_EQ(info.valid, c.silentAfter == 0);
        EXPECT_EQ(info.eflVersion, 0x0105);
        EXPECT_EQ(device->log.lastLine(), c.lastLine);
        EXPECT_EQ(device->dialogs.textsOf("error"), c.errorBoxes);
    }
}

// DeviceExtFlashVersion_Get against an instrument whose external flash carries `text`; the
// decoding itself belongs to TextForms, these rows are about what is read and passed on.
TEST(DeviceInfoEflVersion, TextsAsTheInstrumentStoresThem) {
    struct Case {
        QByteArray text;
        std::optional<std::uint32_t> recordedLength;  // overrides the text's own length
        int result;
        std::uint16_t version;
    };
    const Case cases[] = {
        {"V1.05", {}, kEflVersionRead, 0x0105},
        {"12", 3u, kEflVersionRead, 12},  // the terminating zero ends the text
        {"X1.2", {}, kEflBadMajorCharacter, 0},
        {"V1.05", 2u, kEflVersionTooShort, 0},
        // Only the first 16 bytes are asked for; the x's beyond would be a bad character.
        {"V1.05" + QByteArray(11, ' ') + QByteArray(24, 'x'), {}, kEflVersionRead, 0x0105},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("text \"" + c.text.toStdString() + "\"");
        sim::InstrumentConfig config;
        config.eflVersionText = c.text;
        SimulatedDevice device(config);
        ASSERT_TRUE(device.start());
        if (c.recordedLength) {
            QByteArray length(4, '\0');
            qToLittleEndian(*c.recordedLength, length.data());
            device.withInstrument([&](sim::Instrument& instrument) {
                instrument.externalFlash().program(kEflVersionEntryAddress + 6, length);
            });
        }
        std::uint16_t version = 0xAAAA;
        EXPECT_EQ(DeviceExtFlashVersion_Get(device.session, version), c.result);
        EXPECT_EQ(version, c.version);
        EXPECT_EQ(device.logLines(), QStringList({"==>DeviceExtFlashVersion_Get"}));
        EXPECT_TRUE(device.dialogs.boxes.isEmpty());
    }

    SimulatedDevice device;  // a missing directory entry answer is passed on
    ASSERT_TRUE(device.start());
    device.silence();
    std::uint16_t version = 0x0101;
    EXPECT_EQ(DeviceExtFlashVersion_Get(device.session, version), -1);
    EXPECT_EQ(version, 0);
    EXPECT_EQ(device.dialogs.textsOf("error"), QStringList({"No answer in reading EFLASH"}));
}

}  // namespace
}  // namespace verimant
