#include <gtest/gtest.h>

#include "base/file_helpers.h"
#include "device/firmware_record_file.h"
#include "device/flash_image.h"
#include "tests/device/firmware_record_lines.h"
#include "tests/support/scripted_dialogs.h"

#include <QFile>

namespace verimant {
namespace {

using test::addressLine;
using test::dataLine;
using test::kEndLine;

constexpr int kType3FlashSize = 256 * 1024;

std::span<const std::uint8_t> bytesOf(const QByteArray& image) {
    return {reinterpret_cast<const std::uint8_t*>(image.constData()), size_t(image.size())};
}

TEST(FlashImage, FillDependsOnProcessorType) {
    for (int type : {1, 2, 3, 0, 4, 11, -1}) {
        const char fill = type >= 1 && type <= 3 ? '\xFF' : '\0';
        EXPECT_EQ(makeFlashImage(type, 16), QByteArray(16, fill)) << type;
    }
    EXPECT_TRUE(makeFlashImage(3, 0).isEmpty());
}

// Each byte from the region's start up to the checksum word, shifted by its image offset mod 8;
// the word is stored little-endian.
TEST(FlashImage, ChecksumShiftsEachByteByItsOffsetAndIsSealedLittleEndian) {
    QByteArray image = makeFlashImage(3, 32);
    image[8] = 0x01;
    image[9] = 0x02;
    ASSERT_TRUE(sealFirmwareImage(image, {8, 12}, 0xFF));
    // 0x01 + 0x02<<1 + 0xFF<<2 + 0xFF<<3 = 0x05 + 0x3FC + 0x7F8 = 0xBF9
    EXPECT_EQ(image.mid(12, 4), QByteArray::fromHex("f90b0000"));

    // A zero-filled image starts from 0xA5; the checksum word itself is not summed.
    QByteArray zeroed = makeFlashImage(4, 64);
    zeroed[16] = char(0x80);
    zeroed[23] = char(0x80);
    zeroed[24] = char(0x77);
    EXPECT_EQ(firmwareChecksum(bytesOf(zeroed), {16, 24}, 0x00), 0xA5u + 0x80 + (0x80u << 7));

    QByteArray untouched = makeFlashImage(3, 32);
    EXPECT_FALSE(sealFirmwareImage(untouched, {8, 29}, 0xFF));
    EXPECT_FALSE(sealFirmwareImage(untouched, {-1, 8}, 0xFF));
    EXPECT_EQ(untouched, makeFlashImage(3, 32));
}

TEST(FlashImage, RegionMustHoldTheChecksumWordInsideTheImage) {
    const auto region = firmwareRegion(0x40000, kFlashImageBase, 0x08004000, 0x0803FFFC);
    ASSERT_TRUE(region);
    EXPECT_EQ(region->start, 0x4000);
    EXPECT_EQ(region->checksumOffset, 0x3FFFC);
    EXPECT_EQ(region->length(), 0x3C000);

    EXPECT_FALSE(firmwareRegion(0x40000, kFlashImageBase, 0x07FFFFFF, 0x0803FFFC));
    EXPECT_FALSE(firmwareRegion(0x40000, kFlashImageBase, 0x08004000, 0x08003FFC));
    EXPECT_FALSE(firmwareRegion(0x40000, kFlashImageBase, 0x08004000, 0x0803FFFD));
    EXPECT_FALSE(firmwareRegion(0x10000, 0x8000, 0x8000, 0x7FFFFFFF));
    EXPECT_TRUE(firmwareRegion(0x10000, 0x8000, 0x8000, 0x8000));
}

// A firmware laid out as the build tools write it: main firmware after a 16 KiB boot loader, a
// second 64 KiB segment, 16-byte records, a start record and CR LF line ends.
TEST(RecordFileImage, RealisticFirmwareBuildsTheExpectedImageByteForByte) {
    QByteArray payload;
    for (int i = 0; i < 0xC100; ++i) {
        payload.append(char((i * 7 + (i >> 8)) & 0xFF));
    }
    const quint32 mainStart = 0x08004000;
    QByteArray file;
    quint32 currentUpper = 0xFFFFFFFF;
    for (int done = 0; done < payload.size(); done += 16) {
        const quint32 address = mainStart + quint32(done);
        if (address >> 16 != currentUpper) {
            currentUpper = address >> 16;
            file += addressLine(std::uint16_t(currentUpper)) + "\r\n";
        }
        file += dataLine(std::uint16_t(address), payload.mid(done, 16)) + "\r\n";
    }
    file += test::startLine(0x08004131) + "\r\n" + kEndLine + "\r\n";

    QByteArray image = makeFlashImage(3, kType3FlashSize);
    test::ScriptedDialogs dialogs;
    ASSERT_TRUE(buildFlashImage(file, image));
    EXPECT_TRUE(dialogs.boxes.isEmpty());

    QByteArray expected(kType3FlashSize, '\xFF');
    EXPECT_TRUE(image == expected.replace(0x4000, payload.size(), payload));
}

// The demo's record file: what the simulator and the end-to-end tests write into the instrument.
TEST(RecordFileImage, ExampleFirmwareBuildsForProcessorType3) {
    const WholeFile file = readWholeFile(
        QStringLiteral(VERIMANT_SOURCE_DIR "/examples/verimant_kmt2_demo.hex"), false);
    ASSERT_TRUE(file.ok && file.data);
    QByteArray image = makeFlashImage(3, kType3FlashSize);

    const RecordFileResult result = buildImageFromRecords(
        *file.data, {reinterpret_cast<std::uint8_t*>(image.data()), size_t(image.size())});

    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(result.endRecordSeen && result.errorBoxes.isEmpty());
    EXPECT_EQ(image.left(0x4000), QByteArray(0x4000, '\xFF'));
    // Vector table: initial stack pointer in RAM, reset handler inside the main firmware (Thumb).
    const auto word = [&](int offset) {
        return quint32(quint8(image[offset])) | quint32(quint8(image[offset + 1])) << 8 |
               quint32(quint8(image[offset + 2])) << 16 | quint32(quint8(image[offset + 3])) << 24;
    };
    EXPECT_EQ(word(0x4000) & 0xFFF00000u, 0x20000000u);
    EXPECT_EQ(word(0x4004) & 0xFFFF0001u, 0x08000001u);
    EXPECT_NE(image.mid(0x4000, 0x800), QByteArray(0x800, '\xFF'));
    EXPECT_EQ(image.right(0x1000), QByteArray(0x1000, '\xFF'));
}

}  // namespace
}  // namespace verimant
