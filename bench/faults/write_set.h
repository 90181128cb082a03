#pragma once

#include "sim/instrument_config.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace verimant::faults {

// The data version the set's image carries, as the demo configuration's 1.6 reads on the
// instrument.
inline const QByteArray kDataVersionText = QByteArrayLiteral("V1.06");
// The versions the demo configuration gives both files, which the set's images carry: the firmware
// in the marker the simulator reads, the data image in its version record.
inline constexpr std::uint16_t kFirmwareVersionCode = 0x0302;
inline constexpr std::uint16_t kDataVersionCode = 0x0106;

// A small update set and the instrument it is meant for (the simulator's default instrument, which
// the demo's serial-number base knows, with a firmware region of one page): a main firmware of one
// flash page and a data image over three external-flash sectors, so that one whole upgrade takes
// about two hundred and fifty requests and every one of them can be a cut point.
struct WriteSet {
    sim::InstrumentConfig instrument;
    std::uint32_t firmwareAddress = 0;
    QByteArray firmware;
    QByteArray dataImage;
};

WriteSet smallWriteSet(unsigned seed);

// `bytes` at `address` as record-file text: 16-byte data records, an extended linear address
// record wherever the upper half of the address changes, and the end record.
QByteArray hexRecordText(const QByteArray& bytes, std::uint32_t address);

// Both flashes as an instrument fresh from the factory holds them after the set was written:
// the pages and sectors that the writers erase read erased, the firmware region carries the
// firmware and its checksum word, the external flash the data image from address 0. Worked out
// from the set alone, without the tool's code, so the comparison checks the tool.
struct ExpectedFlashes {
    QByteArray processor;
    std::uint32_t processorBase = 0;
    QByteArray external;
};
ExpectedFlashes expectedFlashes(const WriteSet& set);

// Whether the flashes hold the set's firmware region (with its checksum word) and its data image
// whole; the bytes outside them are not looked at.
bool firmwareWhole(const ExpectedFlashes& expected, const WriteSet& set,
                   const QByteArray& processor);
bool dataImageWhole(const ExpectedFlashes& expected, const WriteSet& set,
                    const QByteArray& external);

// Empty when both flashes equal the expected ones; otherwise where the first difference lies and
// how many bytes differ.
QString flashDifference(const ExpectedFlashes& expected, const QByteArray& processor,
                        const QByteArray& external);

}  // namespace verimant::faults
