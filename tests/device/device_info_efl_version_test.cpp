#include "device/ext_flash_version.h"

#include "tests/device/simulated_device.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <optional>

namespace verimant {
namespace {

using test::SimulatedDevice;

struct EflCase {
    QByteArray text;
    std::optional<std::uint32_t> recordedLength;  // overrides the text's own length
    int result;
    std::uint16_t version;
};

// Runs DeviceExtFlashVersion_Get against an instrument whose external flash carries `text`.
void expectEflVersion(const EflCase& c) {
    SCOPED_TRACE("text \"" + c.text.toStdString() + "\"");
    sim::InstrumentConfig config;
    config.eflVersionText = c.text;
    SimulatedDevice device(config);
    ASSERT_TRUE(device.start());
    if (c.recordedLength) {
        QByteArray length(4, '\0');
        qToLittleEndian(*c.recordedLength, length.data());
        device.instrument().withInstrument([&](sim::Instrument& instrument) {
            instrument.externalFlash().program(kEflVersionEntryAddress + 6, length);
        });
    }
    std::uint16_t version = 0xAAAA;
    EXPECT_EQ(DeviceExtFlashVersion_Get(device.session, version), c.result);
    EXPECT_EQ(version, c.version);
    EXPECT_EQ(device.logLines(), QStringList({"==>DeviceExtFlashVersion_Get"}));
    EXPECT_TRUE(device.dialogs.boxes.isEmpty());
}

TEST(DeviceInfoEflVersion, TextsAsTheInstrumentStoresThem) {
    const QByteArray forty = "V1.05" + QByteArray(11, ' ') + QByteArray(24, 'x');
    const EflCase cases[] = {
        {"V1.05", {}, kEflVersionRead, 0x0105},
        {"1.5 ", {}, kEflVersionRead, 0x0105},
        {"12", 3u, kEflVersionRead, 12},  // the terminating zero ends the text
        {"V1.2a", {}, kEflBadMinorCharacter, 0},
        {"X1.2", {}, kEflBadMajorCharacter, 0},
        {"1.300", {}, kEflNumberTooLarge, 0},
        {"V1.05", 2u, kEflVersionTooShort, 0},
        // Only the first 16 bytes are asked for; the x's beyond would be a bad character.
        {forty, {}, kEflVersionRead, 0x0105},
    };
    for (const EflCase& c : cases) {
        expectEflVersion(c);
    }
}

TEST(DeviceInfoEflVersion, MissingDirectoryEntryAnswerIsPassedOn) {
    SimulatedDevice device;
    ASSERT_TRUE(device.start());
    sim::SimFaults silent;
    silent.silentAfter = 0;
    device.instrument().setFaults(silent);

    std::uint16_t version = 0x0101;
    EXPECT_EQ(DeviceExtFlashVersion_Get(device.session, version), -1);
    EXPECT_EQ(version, 0);
    EXPECT_EQ(device.dialogs.textsOf("error"), QStringList({"No answer in reading EFLASH"}));
}

}  // namespace
}  // namespace verimant
