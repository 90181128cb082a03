#pragma once

#include <QString>
#include <QtGlobal>

namespace verimant {

struct DeviceSession;

// The external flash spans 8 MiB; a larger data file cannot be meant for it and is refused before
// anything is sent.
inline constexpr qint64 kMaxEflFileSize = 0x800000;

// Copies the data file at `path` byte for byte into the external flash from address 0, while the
// instrument runs its main firmware: each 4 KiB sector is erased before the first write into it,
// a failed erase or write is tried once more, and progress shows in the log, the status bar and on
// the instrument's screen. True when every byte was written; the link test is off during the
// write and on again afterwards, whatever happened.
bool Update_EFL(DeviceSession& session, const QString& path);

}  // namespace verimant
