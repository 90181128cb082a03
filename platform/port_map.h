#pragma once

#include <QString>

#include <cstdint>

namespace verimant {

// One serial port known to the system, by its COM number.
struct PortEntry {
    std::int32_t portNumber = kEmpty;
    std::uint32_t reserved = 0;

    static constexpr std::int32_t kEmpty = 255;
};

// The highest COM number the system's list gives (ttyACM54); kEmpty lies above every number.
inline constexpr int kHighestPortNumber = 254;

// Fills `entries` with the serial ports that exist now. `count` comes in as the capacity of
// `entries` and goes out as the number of slots looked at; a slot that names no port is set to
// PortEntry::kEmpty. When VERIMANT_PORTS_DIR names a folder, its entries COM<n> (sorted by name)
// are the whole list; otherwise the system's serial devices, numbered as docs/ports.md describes.
void enumeratePorts(PortEntry* entries, int& count);

// Keeps each port number once (its first occurrence), drops empty slots and closes the gaps;
// `count` becomes the number of entries kept.
void compactPortEntries(PortEntry* entries, int& count);

// The device to open for COM `number`; empty when there is no such port.
QString portDevicePath(int number);

// The number in a port name such as "COM12": the last run of decimal digits, trailing
// non-digits skipped; 0 when there is none, or when it does not fit.
int portNumberFromName(const QString& name);

}  // namespace verimant
