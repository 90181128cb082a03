#include "link/device_records.h"

#include <gtest/gtest.h>

namespace verimant {
namespace {

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int value : values) {
        out.append(char(value));
    }
    return out;
}

TEST(DeviceRecords, ProgramInfoIsLittleEndianAndExactlyEightBytes) {
    const auto info =
        ProgramInfo::fromBytes(bytes({0x10, 0x04, 0x05, 0x01, 0x00, 0x01, 0x00, 0x08}));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->bootVersion, 0x0410);
    EXPECT_EQ(info->mainVersion, 0x0105);
    EXPECT_EQ(info->platformDescriptionAddress, 0x08000100u);
    EXPECT_EQ(info->toBytes(), bytes({0x10, 0x04, 0x05, 0x01, 0x00, 0x01, 0x00, 0x08}));

    EXPECT_FALSE(ProgramInfo::fromBytes(QByteArray(7, '\0')).has_value());
    EXPECT_FALSE(ProgramInfo::fromBytes(QByteArray(9, '\0')).has_value());
}

TEST(DeviceRecords, PlatformDescriptionFieldsAtTheirOffsets) {
    QByteArray raw(PlatformDescription::kSize, '\0');
    raw[0] = char(0x01);
    raw[1] = char(0x01);  // type 257
    raw[10] = char(0x80);
    raw[11] = char(0x27);
    raw[12] = char(0x00);
    raw[13] = char(0x08);
    raw[14] = char(0x00);
    raw[15] = char(0x40);
    raw[18] = char(0xFC);
    raw[19] = char(0xFF);
    raw[20] = char(0x03);
    raw[21] = char(0x08);
    const PlatformDescription platform = PlatformDescription::fromBytes(raw);
    EXPECT_EQ(platform.processorTypeCode(), 257);
    EXPECT_EQ(platform.boardRecordField(), 0x08002780u);
    EXPECT_EQ(platform.mainFirmwareStartField(), 0x4000u);
    EXPECT_EQ(platform.checksumWordField(), 0x0803FFFCu);
    EXPECT_EQ(platform.toBytes(), raw);
}

TEST(DeviceRecords, BoardInfoVariantTensDigit) {
    const auto info = BoardInfo::fromBytes(bytes({0x12, 0x01, 45, 7}));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->boardCode, 274);
    EXPECT_EQ(info->variantTensDigit(), 4);
    EXPECT_EQ((BoardInfo{245, 153, 0}.variantTensDigit()), 5);
    EXPECT_EQ((BoardInfo{245, 9, 0}.variantTensDigit()), 0);
    EXPECT_FALSE(BoardInfo::fromBytes(bytes({1, 2, 3})).has_value());
}

TEST(DeviceRecords, ParameterAnswersOfSixOrTwentyTwoBytesOnly) {
    ParameterRecord record;
    record.id = 9;
    record.further.fill(0xEE);

    ASSERT_TRUE(record.assignFrom(bytes({0x21, 0x00, 0x78, 0x56, 0x34, 0x12})));
    EXPECT_EQ(record.id, 0x21);
    EXPECT_EQ(record.value, 0x12345678u);
    EXPECT_EQ(record.further[0], 0xEE) << "a short answer leaves the further bytes alone";

    QByteArray full = bytes({0x05, 0x00, 0x01, 0x00, 0x00, 0x00});
    for (int k = 0; k < 16; ++k) {
        full.append(char(k + 1));
    }
    ASSERT_TRUE(record.assignFrom(full));
    EXPECT_EQ(record.id, 5);
    EXPECT_EQ(record.value, 1u);
    EXPECT_EQ(record.further[15], 16);
    EXPECT_EQ(record.toBytes(), full);

    for (int size : {0, 5, 7, 21, 23}) {
        EXPECT_FALSE(record.assignFrom(QByteArray(size, '\x7F'))) << size;
    }
    EXPECT_EQ(record.id, 5);
}

}  // namespace
}  // namespace verimant
