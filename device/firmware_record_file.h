#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

#include "device/flash_image.h"

#include <cstdint>
#include <optional>
#include <span>

namespace verimant {

// What reading a firmware record file into a flash image came to.
struct RecordFileResult {
    // The image is complete and free of errors: reading reached the end record or the end of the
    // file without a record error or a misplaced data record.
    bool ok = false;
    bool endRecordSeen = false;
    // Non-empty lines read, the failing one included.
    int linesRead = 0;
    // The error boxes due, in order: one per record of an unknown type, then at most one error
    // that ended the file.
    QStringList errorBoxes;
    // Why reading stopped, without the file's own bytes, and on which line; empty when it did not.
    QString failure;
    int failedLine = 0;
};

// Reads the record file `contents` (raw bytes; any control character ends a line) and copies its
// data records into `image`, whose offset 0 is instrument address 0x08000000. The image must be
// sized and filled beforehand (makeFlashImage). Shows nothing; never writes outside `image`.
//
// A file that reads without a record error can still not be the firmware it claims to be; it is
// refused when it is empty, lacks its end record (a download cut at a line end), or has data
// records after a segment record (type 02), whose addresses the boot loader cannot honour. With
// the `region` to be written, data reaching the checksum word or beyond is refused (it would be
// cut off silently), and so is a file without any data inside the region. Data below the region
// stays ignored.
RecordFileResult buildImageFromRecords(QByteArrayView contents, std::span<std::uint8_t> image,
                                       std::optional<FirmwareRegion> region = std::nullopt);

// The same, showing every due error box through userDialogs(); true when the image may be written.
bool buildFlashImage(QByteArrayView contents, QByteArray& image,
                     std::optional<FirmwareRegion> region = std::nullopt);

}  // namespace verimant
