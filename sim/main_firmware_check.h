#pragma once

#include "sim/flash_memory.h"
#include "sim/memory_layout.h"

#include <cstdint>
#include <optional>

namespace verimant::sim {

// The text a main firmware carries so that the simulator can report the version written into it:
// " FIRMWARE " followed by major "." minor in decimal (for example "KMT2 DEMO FIRMWARE 3.02"),
// anywhere in the main-firmware region. The example firmware generator places it.
inline constexpr char kFirmwareVersionMarker[] = " FIRMWARE ";

// What the boot loader finds in the main-firmware region at a restart.
struct MainFirmwareCheck {
    // The checksum word matches the region: the boot loader starts the main firmware.
    bool whole = false;
    // The version the marker names, when the region carries one.
    std::optional<std::uint16_t> markedVersion;
};

MainFirmwareCheck checkMainFirmware(const FlashMemory& flash, const MemoryLayout& layout,
                                    int processorType);

}  // namespace verimant::sim
