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
    const QByteArray raw = bytes({0x10, 0x04, 0x05, 0x01, 0x00, 0x01, 0x00, 0x08});
    const auto info = ProgramInfo::fromBytes(raw);
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->bootVersion, 0x0410);
    EXPECT_EQ(info->mainVersion, 0x0105);
    EXPECT_EQ(info->platformDescriptionAddress, 0x08000100u);
    EXPECT_EQ(info->toBytes(), raw);

    EXPECT_FALSE(ProgramInfo::fromBytes(QByteArray(7, '\0')).has_value());
    EXPECT_FALSE(ProgramInfo::fromBytes(QByteArray(9, '\0')).has_value());
}

TEST(DeviceRecords, BoardInfoIsFourBytesWithTheVariantsTensDigit) {
    const auto info = BoardInfo::fromBytes(bytes({0x12, 0x01, 45, 7}));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->boardCode, 274);
    EXPECT_EQ(info->variantTensDigit(), 4);
    EXPECT_EQ((BoardInfo{245, 153, 0}.variantTensDigit()), 5);
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
    EXPECT_EQ(record.toBytes(), full);

    for (int size : {0, 5, 7, 21, 23}) {
        EXPECT_FALSE(record.assignFrom(QByteArray(size, '\x7F'))) << size;
    }
    EXPECT_EQ(record.toBytes(), full) << "a refused answer leaves the record untouched";
}

}  // namespace
}  // namespace verimant
