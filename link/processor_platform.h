#pragma once

#include "link/device_records.h"

#include <cstdint>

namespace verimant {

// Flash geometry and unique-ID location of one processor type. Unknown types have all zeros and
// count as small-page, so writers pick their most careful path.
struct ProcessorType {
    int flashPageSize = 0;
    int flashSize = 0;
    std::uint32_t flashBase = 0;
    std::uint32_t uniqueIdAddress = 0;
    bool smallPageFamily = true;
};

ProcessorType processorType(int typeCode);

// Boot loaders up to this version predate the per-type unique-ID table and keep the main-firmware
// checksum word at a fixed place.
inline constexpr std::uint16_t kLastEarlyBootVersion = 0x106;
inline constexpr std::uint32_t kEarlyUniqueIdAddress = 0x1FFFF7E8;
inline constexpr std::uint32_t kEarlyChecksumWordAddress = 0x0800FF7C;

// The platform answers derived from a program information and its platform description.
std::uint32_t uniqueIdAddress(const ProgramInfo& program, const PlatformDescription& platform);
std::uint32_t boardRecordAddress(const PlatformDescription& platform);
std::uint32_t mainFirmwareStartAddress(const PlatformDescription& platform);
std::uint32_t checksumWordAddress(const ProgramInfo& program, const PlatformDescription& platform);

// Whether CPU flash writes and erases use the newer command pair (03 06 / 03 07): only a main
// firmware over a 2.x-4.x or 6.x+ boot loader speaks them.
bool usesNewCpuFlashVariant(const ProgramInfo& program);

}  // namespace verimant
