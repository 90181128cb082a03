#pragma once

#include "device/ext_flash_version.h"
#include "sim/instrument.h"

#include <cstdint>

namespace verimant::test {

// The data version a readout of this instrument would report now, read from its external flash as
// the instrument keeps it (0 when none reads).
inline std::uint16_t simEflVersion(const sim::Instrument& device) {
    const QByteArray entry = device.externalFlash().read(kEflVersionEntryAddress, 4);
    const std::uint32_t sector = std::uint8_t(entry[2]) | std::uint32_t(std::uint8_t(entry[3]))
                                                              << 8;
    std::uint16_t version = 0;
    parseEflVersionText(device.externalFlash().read(sector * kEflSectorSize + kEflVersionTextOffset,
                                                    kEflVersionTextLimit),
                        version);
    return version;
}

}  // namespace verimant::test
