#pragma once

#include "device/write_options.h"

#include <QString>

namespace verimant {

struct DeviceSession;

// Writes the main firmware of the record file at `path` into the processor flash of an instrument
// that runs its boot loader: builds the whole-flash image, seals it with the checksum word, erases
// each page as the write reaches it and sends the region from the main-firmware start up to and
// including the checksum word in aligned chunks. Progress goes to the log's last line and the
// status bar. True when the whole region was written; the link test is off during the write and on
// again afterwards, whatever happened. A chunk of nothing but the processor's fill byte is left out
// (its page has just been erased) unless options.writeAll; the checksum word's chunk always goes.
// With options.verify the region is read back after the last chunk, while the boot loader still
// runs, and a difference fails the write.
bool Update_KMT2(DeviceSession& session, const QString& path, const WriteOptions& options = {});

// Reads the record file and builds the sealed image for this instrument's geometry, as
// Update_KMT2 does, without writing anything: true when Update_KMT2 would accept it. Its error
// boxes and log lines are the writer's own. Works in either program, so a file can be refused
// before a healthy instrument is restarted into its boot loader.
bool checkFirmwareFile(DeviceSession& session, const QString& path);

}  // namespace verimant
