#include "link/processor_platform.h"

#include <gtest/gtest.h>

#include <tuple>

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

TEST(ProcessorPlatform, TypeTableAcrossFamiliesAndUnknownTypes) {
    constexpr std::uint32_t arm = 0x08000000;
    const struct {
        int code;
        int pageSize;
        int sizeKiB;
        std::uint32_t base;
        std::uint32_t uid;
        bool smallPage;
    } rows[] = {
        {1, 1024, 64, arm, 0x1FFFF7E8, false},
        {2, 2048, 128, arm, 0x1FFF7590, false},
        {8, 256, 256, arm, 0x1FF80050, false},
        {9, 128, 64, arm, 0x1FF80050, true},
        {13, 2048, 768, arm, 0x1FFFF7E8, false},
        {258, 128, 32, 0x8000, 0x4926, true},
        // Unknown types have no geometry and take the careful small-page path.
        {0, 0, 0, 0, 0, true},
        {14, 0, 0, 0, 0, true},
        {256, 0, 0, 0, 0, true},
        {261, 0, 0, 0, 0, true},
        {0xFFFF, 0, 0, 0, 0, true},
    };
    for (const auto& row : rows) {
        const ProcessorType type = processorType(row.code);
        EXPECT_EQ(std::tuple(type.flashPageSize, type.flashSize, type.flashBase,
                             type.uniqueIdAddress, type.smallPageFamily),
                  std::tuple(row.pageSize, row.sizeKiB * 1024, row.base, row.uid, row.smallPage))
            << "type " << row.code;
    }
}

TEST(ProcessorPlatform, EarlyBootLoadersKeepTheUniqueIdAtOnePlace) {
    const struct {
        std::uint16_t boot;
        std::uint16_t type;
        std::uint32_t address;
    } rows[] = {{0x106, 4, 0x1FFFF7E8}, {0x100, 257, 0x1FFFF7E8},
                {0x106, 0, 0x1FFFF7E8}, {0x107, 4, 0x1FF80050},
                {0x107, 0, 0},          {0x400, 99, 0}};
    for (const auto& row : rows) {
        EXPECT_EQ(uniqueIdAddress(program(row.boot), describe(row.type)), row.address)
            << std::hex << "boot " << row.boot << " type " << row.type;
    }
}

TEST(ProcessorPlatform, AddressesFromTheDescription) {
    const PlatformDescription platform = describe(3, 0x08002780, 0x08004000, 0x0803FFFC);
    EXPECT_EQ(mainFirmwareStartAddress(platform), 0x08004000u);
    EXPECT_EQ(checksumWordAddress(program(0x107), platform), 0x0803FFFCu);
    EXPECT_EQ(checksumWordAddress(program(0x106), platform), 0x0800FF7Cu);
    EXPECT_EQ(boardRecordAddress(platform), 0x08002780u);

    // Type 0 means the block describes nothing, whatever its other fields say.
    const PlatformDescription none = describe(0, 0x08002780, 0x08004000, 0x0803FFFC);
    EXPECT_EQ(mainFirmwareStartAddress(none), 0u);
    EXPECT_EQ(checksumWordAddress(program(0x107), none), 0u);
    EXPECT_EQ(checksumWordAddress(program(0x105), none), 0u);
    EXPECT_EQ(boardRecordAddress(none), 0x08002780u);

    // Only the first type still pointing at the record's old place is sent to its new one.
    EXPECT_EQ(boardRecordAddress(describe(1, 0x08002780)), 0x080027F0u);
    EXPECT_EQ(boardRecordAddress(describe(1, 0x08002800)), 0x08002800u);
}

TEST(ProcessorPlatform, CpuFlashVariantFollowsBothVersions) {
    const struct {
        std::uint16_t boot;
        std::uint16_t main;
        bool newVariant;
    } rows[] = {{0x0105, 1, false}, {0x01FF, 1, false},     {0x0200, 1, true},
                {0x0210, 1, true},  {0x04FF, 0x0103, true}, {0x0500, 1, false},
                {0x0510, 1, false}, {0x0600, 1, true},      {0x0210, 0, false}};
    for (const auto& row : rows) {
        EXPECT_EQ(usesNewCpuFlashVariant(program(row.boot, row.main)), row.newVariant)
            << std::hex << "boot " << row.boot << " main " << row.main;
    }
}

}  // namespace
}  // namespace verimant
