#pragma once

#include <cstdint>

namespace verimant::sim {

// What the instrument's processor looks like from the outside: where its flash lies, how it is
// paged and where the factory programmed its unique ID. A type the instrument does not know has
// all zeros (no flash, no ID).
struct ProcessorGeometry {
    std::uint32_t pageSize = 0;
    std::uint32_t flashSize = 0;
    std::uint32_t flashBase = 0;
    std::uint32_t uidAddress = 0;
};

ProcessorGeometry processorGeometry(int processorType);

// Boot loaders up to this version place the ID at the first family's address whatever the
// processor, and keep the main-firmware checksum word at a fixed address.
inline constexpr std::uint16_t kLastEarlyBootVersion = 0x106;
inline constexpr std::uint32_t kEarlyUidAddress = 0x1FFFF7E8;
inline constexpr std::uint32_t kEarlyChecksumWordAddress = 0x800FF7C;

// Board type code (as stored in the board record) to the board number the instrument reports in
// its board information; 0 for codes without a number.
int boardNumberForType(int boardType);

}  // namespace verimant::sim
