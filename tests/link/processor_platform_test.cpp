#include "link/processor_platform.h"

#include <gtest/gtest.h>

namespace verimant {
namespace {

PlatformDescription describe(std::uint16_t type, std::uint32_t boardRecord = 0,
                             std::uint32_t mainStart = 0, std::uint32_t checksumWord = 0) {
    QByteArray bytes;
    appendLe16(bytes, type);
    bytes.append(QByteArray(8, '\x55'));
    appendLe32(bytes, boardRecord);
    appendLe32(bytes, mainStart);
    appendLe32(bytes, checksumWord);
    bytes.append(QByteArray(PlatformDescription::kSize - bytes.size(), '\x55'));
    return PlatformDescription::fromBytes(bytes);
}

ProgramInfo program(std::uint16_t boot, std::uint16_t main = 1) {
    return ProgramInfo{boot, main, 0x20000000};
}

TEST(ProcessorPlatform, TypeTableRowsAcrossFamilies) {
    const ProcessorType first = processorType(1);
    EXPECT_EQ(first.flashPageSize, 1024);
    EXPECT_EQ(first.flashSize, 64 * 1024);
    EXPECT_EQ(first.flashBase, 0x08000000u);
    EXPECT_EQ(first.uniqueIdAddress, 0x1FFFF7E8u);
    EXPECT_FALSE(first.smallPageFamily);

    const ProcessorType lowPower = processorType(8);
    EXPECT_EQ(lowPower.flashPageSize, 256);
    EXPECT_EQ(lowPower.flashSize, 256 * 1024);
    EXPECT_EQ(lowPower.uniqueIdAddress, 0x1FF80050u);
    EXPECT_FALSE(lowPower.smallPageFamily);

    EXPECT_TRUE(processorType(9).smallPageFamily);
    EXPECT_EQ(processorType(9).flashPageSize, 128);
    EXPECT_EQ(processorType(2).uniqueIdAddress, 0x1FFF7590u);
    EXPECT_EQ(processorType(13).flashSize, 768 * 1024);

    const ProcessorType eightBit = processorType(258);
    EXPECT_EQ(eightBit.flashPageSize, 128);
    EXPECT_EQ(eightBit.flashSize, 32 * 1024);
    EXPECT_EQ(eightBit.flashBase, 0x8000u);
    EXPECT_EQ(eightBit.uniqueIdAddress, 0x4926u);
    EXPECT_TRUE(eightBit.smallPageFamily);
}

TEST(ProcessorPlatform, UnknownTypesHaveNoGeometryAndCountAsSmallPage) {
    for (int code : {0, 14, 256, 261, 0xFFFF}) {
        const ProcessorType type = processorType(code);
        EXPECT_EQ(type.flashPageSize, 0) << code;
        EXPECT_EQ(type.flashSize, 0) << code;
        EXPECT_EQ(type.flashBase, 0u) << code;
        EXPECT_EQ(type.uniqueIdAddress, 0u) << code;
        EXPECT_TRUE(type.smallPageFamily) << code;
    }
}

TEST(ProcessorPlatform, EarlyBootLoadersKeepTheUniqueIdAtOnePlace) {
    EXPECT_EQ(uniqueIdAddress(program(0x106), describe(4)), 0x1FFFF7E8u);
    EXPECT_EQ(uniqueIdAddress(program(0x0100), describe(257)), 0x1FFFF7E8u);
    EXPECT_EQ(uniqueIdAddress(program(0x106), describe(0)), 0x1FFFF7E8u);
    EXPECT_EQ(uniqueIdAddress(program(0x107), describe(4)), 0x1FF80050u);
    EXPECT_EQ(uniqueIdAddress(program(0x107), describe(0)), 0u);
    EXPECT_EQ(uniqueIdAddress(program(0x400), describe(99)), 0u);
}

TEST(ProcessorPlatform, ChecksumWordAndMainStartFromTheDescription) {
    const PlatformDescription platform = describe(3, 0x08002780, 0x08004000, 0x0803FFFC);
    EXPECT_EQ(mainFirmwareStartAddress(platform), 0x08004000u);
    EXPECT_EQ(checksumWordAddress(program(0x107), platform), 0x0803FFFCu);
    EXPECT_EQ(checksumWordAddress(program(0x106), platform), 0x0800FF7Cu);

    // Type 0 means the block describes nothing, whatever its other fields say.
    const PlatformDescription none = describe(0, 0, 0x08004000, 0x0803FFFC);
    EXPECT_EQ(mainFirmwareStartAddress(none), 0u);
    EXPECT_EQ(checksumWordAddress(program(0x107), none), 0u);
    EXPECT_EQ(checksumWordAddress(program(0x105), none), 0u);
}

TEST(ProcessorPlatform, BoardRecordMovedOnlyForTheFirstTypeAtItsOldPlace) {
    EXPECT_EQ(boardRecordAddress(describe(1, 0x08002780)), 0x080027F0u);
    EXPECT_EQ(boardRecordAddress(describe(1, 0x08002800)), 0x08002800u);
    EXPECT_EQ(boardRecordAddress(describe(2, 0x08002780)), 0x08002780u);
    EXPECT_EQ(boardRecordAddress(describe(0, 0x08002780)), 0x08002780u);
}

TEST(ProcessorPlatform, CpuFlashVariantFollowsBothVersions) {
    EXPECT_FALSE(usesNewCpuFlashVariant(program(0x0105, 1)));
    EXPECT_TRUE(usesNewCpuFlashVariant(program(0x0210, 1)));
    EXPECT_TRUE(usesNewCpuFlashVariant(program(0x0200, 1)));
    EXPECT_FALSE(usesNewCpuFlashVariant(program(0x01FF, 1)));
    EXPECT_FALSE(usesNewCpuFlashVariant(program(0x0510, 1)));
    EXPECT_FALSE(usesNewCpuFlashVariant(program(0x0500, 1)));
    EXPECT_TRUE(usesNewCpuFlashVariant(program(0x0600, 1)));
    EXPECT_TRUE(usesNewCpuFlashVariant(program(0x04FF, 0x0103)));
    EXPECT_FALSE(usesNewCpuFlashVariant(program(0x0210, 0)));
}

}  // namespace
}  // namespace verimant
