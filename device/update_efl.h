#pragma once

#include "device/write_options.h"

#include <QString>
#include <QtGlobal>

namespace verimant {

struct DeviceSession;

// The instrument keeps its settings block in the last two 4 KiB sectors below 8 MiB; a data file
// reaching them would overwrite the settings, and one larger than the flash cannot be meant for
// it. Both are refused before anything is sent, as is an empty file.
inline constexpr qint64 kMaxEflFileSize = 0x7FE000;

// Copies the data file at `path` byte for byte into the external flash from address 0, while the
// instrument runs its main firmware: each 4 KiB sector is erased before the first write into it,
// a failed erase or write is tried once more, and progress shows in the log, the status bar and on
// the instrument's screen. True when every byte was written; the link test is off during the
// write and on again afterwards, whatever happened. A chunk of nothing but 0xFF is left out (its
// sectors have just been erased) unless options.writeAll; progress counts it as written.
// With options.verify every byte of the file is read back after the last chunk, and a difference
// fails the write.
bool Update_EFL(DeviceSession& session, const QString& path, const WriteOptions& options = {});

// Reads the data file and refuses it as Update_EFL would (empty, or reaching the settings), with
// the writer's own box and log line, without sending anything: true when Update_EFL would take
// it. Lets a file be refused before the instrument is restarted for the main firmware.
bool checkDataFile(DeviceSession& session, const QString& path);

}  // namespace verimant
