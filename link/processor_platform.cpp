#include "link/processor_platform.h"

namespace verimant {

namespace {

constexpr int kKiB = 1024;
constexpr std::uint32_t kArmFlashBase = 0x08000000;
constexpr std::uint32_t kSmallCoreFlashBase = 0x8000;

struct TypeRow {
    int code;
    ProcessorType type;
};

constexpr TypeRow kTypes[] = {
    {1, {1024, 64 * kKiB, kArmFlashBase, 0x1FFFF7E8, false}},
    {2, {2048, 128 * kKiB, kArmFlashBase, 0x1FFF7590, false}},
    {3, {2048, 256 * kKiB, kArmFlashBase, 0x1FFF7590, false}},
    {4, {2048, 64 * kKiB, kArmFlashBase, 0x1FF80050, false}},
    {5, {256, 128 * kKiB, kArmFlashBase, 0x1FF80050, false}},
    {6, {256, 64 * kKiB, kArmFlashBase, 0x1FF80050, false}},
    {7, {256, 128 * kKiB, kArmFlashBase, 0x1FF80050, false}},
    {8, {256, 256 * kKiB, kArmFlashBase, 0x1FF80050, false}},
    {9, {128, 64 * kKiB, kArmFlashBase, 0x1FF80050, true}},
    {10, {1024, 128 * kKiB, kArmFlashBase, 0x1FFFF7E8, false}},
    {11, {2048, 256 * kKiB, kArmFlashBase, 0x1FFFF7E8, false}},
    {12, {2048, 512 * kKiB, kArmFlashBase, 0x1FFFF7E8, false}},
    {13, {2048, 768 * kKiB, kArmFlashBase, 0x1FFFF7E8, false}},
    {257, {128, 64 * kKiB, kSmallCoreFlashBase, 0x4926, true}},
    {258, {128, 32 * kKiB, kSmallCoreFlashBase, 0x4926, true}},
    {259, {128, 32 * kKiB, kSmallCoreFlashBase, 0x4926, true}},
    {260, {128, 64 * kKiB, kSmallCoreFlashBase, 0x4926, true}},
};

// A first-generation board whose description still points at the record's old place.
constexpr int kRelocatedBoardRecordType = 1;
constexpr std::uint32_t kOldBoardRecordAddress = 0x08002780;
constexpr std::uint32_t kMovedBoardRecordAddress = 0x080027F0;

bool isEarlyBootLoader(const ProgramInfo& program) {
    return program.bootVersion <= kLastEarlyBootVersion;
}

}  // namespace

ProcessorType processorType(int typeCode) {
    for (const TypeRow& row : kTypes) {
        if (row.code == typeCode) {
            return row.type;
        }
    }
    return ProcessorType{};
}

std::uint32_t uniqueIdAddress(const ProgramInfo& program, const PlatformDescription& platform) {
    if (isEarlyBootLoader(program)) {
        return kEarlyUniqueIdAddress;
    }
    return processorType(platform.processorTypeCode()).uniqueIdAddress;
}

std::uint32_t boardRecordAddress(const PlatformDescription& platform) {
    const std::uint32_t field = platform.boardRecordField();
    if (platform.processorTypeCode() == kRelocatedBoardRecordType &&
        field == kOldBoardRecordAddress) {
        return kMovedBoardRecordAddress;
    }
    return field;
}

std::uint32_t mainFirmwareStartAddress(const PlatformDescription& platform) {
    if (platform.processorTypeCode() == 0) {
        return 0;
    }
    return platform.mainFirmwareStartField();
}

std::uint32_t checksumWordAddress(const ProgramInfo& program, const PlatformDescription& platform) {
    if (platform.processorTypeCode() == 0) {
        return 0;
    }
    if (isEarlyBootLoader(program)) {
        return kEarlyChecksumWordAddress;
    }
    return platform.checksumWordField();
}

bool usesNewCpuFlashVariant(const ProgramInfo& program) {
    return program.mainVersion != 0 && program.bootVersion >= 0x200 &&
           (program.bootVersion >> 8) != 0x05;
}

}  // namespace verimant
