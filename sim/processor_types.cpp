#include "sim/processor_types.h"

#include <array>

namespace verimant::sim {

namespace {

struct ProcessorEntry {
    int type;
    ProcessorGeometry geometry;
};

constexpr std::uint32_t kKiB = 1024;
constexpr std::uint32_t kArmFlash = 0x08000000;
constexpr std::uint32_t kSmallFlash = 0x8000;

constexpr std::array<ProcessorEntry, 17> kProcessors{{
    {1, {1024, 64 * kKiB, kArmFlash, 0x1FFFF7E8}},
    {2, {2048, 128 * kKiB, kArmFlash, 0x1FFF7590}},
    {3, {2048, 256 * kKiB, kArmFlash, 0x1FFF7590}},
    {4, {2048, 64 * kKiB, kArmFlash, 0x1FF80050}},
    {5, {256, 128 * kKiB, kArmFlash, 0x1FF80050}},
    {6, {256, 64 * kKiB, kArmFlash, 0x1FF80050}},
    {7, {256, 128 * kKiB, kArmFlash, 0x1FF80050}},
    {8, {256, 256 * kKiB, kArmFlash, 0x1FF80050}},
    {9, {128, 64 * kKiB, kArmFlash, 0x1FF80050}},
    {10, {1024, 128 * kKiB, kArmFlash, 0x1FFFF7E8}},
    {11, {2048, 256 * kKiB, kArmFlash, 0x1FFFF7E8}},
    {12, {2048, 512 * kKiB, kArmFlash, 0x1FFFF7E8}},
    {13, {2048, 768 * kKiB, kArmFlash, 0x1FFFF7E8}},
    {257, {128, 64 * kKiB, kSmallFlash, 0x4926}},
    {258, {128, 32 * kKiB, kSmallFlash, 0x4926}},
    {259, {128, 32 * kKiB, kSmallFlash, 0x4926}},
    {260, {128, 64 * kKiB, kSmallFlash, 0x4926}},
}};

constexpr std::array<int, 12> kBoardNumbers{245, 290, 278, 274, 288, 180,
                                            76,  274, 187, 189, 299, 7};

}  // namespace

ProcessorGeometry processorGeometry(int processorType) {
    for (const auto& entry : kProcessors) {
        if (entry.type == processorType) {
            return entry.geometry;
        }
    }
    return {};
}

int boardNumberForType(int boardType) {
    if (boardType < 1 || boardType > int(kBoardNumbers.size())) {
        return 0;
    }
    return kBoardNumbers[boardType - 1];
}

}  // namespace verimant::sim
