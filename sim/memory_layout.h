#pragma once

#include "sim/instrument_config.h"
#include "sim/processor_types.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace verimant::sim {

// The program information lives in RAM at a fixed place; the boot loader fills it at start.
inline constexpr std::uint32_t kProgramInfoAddress = 0x20000000;
// Where the identity blocks go when the processor type has no flash to hold them.
inline constexpr std::uint32_t kSystemMemoryBase = 0x1FFF0000;
inline constexpr std::uint32_t kPlatformDescriptionOffset = 0x200;
inline constexpr std::uint32_t kBoardRecordOffset = 0x280;
inline constexpr int kPlatformDescriptionSize = 48;
inline constexpr int kBoardRecordSize = 16;
inline constexpr int kUidSize = 12;

// Where everything the tool reads lies in the instrument's memory, derived once from the config.
struct MemoryLayout {
    ProcessorGeometry geometry;
    std::uint32_t platformDescriptionAddress = 0;
    // The value stored in the description, and where the record really is.
    std::uint32_t boardRecordField = 0;
    std::uint32_t boardRecordAddress = 0;
    std::uint32_t mainFirmwareStart = 0;
    std::uint32_t checksumWordAddress = 0;
    std::vector<std::uint32_t> uidAddresses;
};

MemoryLayout memoryLayoutFor(const InstrumentConfig& config);

// The three identity blocks, byte for byte as the instrument stores them.
QByteArray programInfoBlock(std::uint16_t bootVersion, std::uint16_t mainVersion,
                            std::uint32_t platformDescriptionAddress);
QByteArray platformDescriptionBlock(int processorType, const MemoryLayout& layout);
// Serial digits packed two per byte from byte 9 on, the first digit of a pair in the low nibble.
QByteArray boardRecordBlock(const InstrumentConfig& config);

}  // namespace verimant::sim
