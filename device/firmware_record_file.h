#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

#include <cstdint>
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
};

// Reads the record file `contents` (raw bytes; any control character ends a line) and copies its
// data records into `image`, whose offset 0 is instrument address 0x08000000. The image must be
// sized and filled beforehand (makeFlashImage). Shows nothing; never writes outside `image`.
RecordFileResult buildImageFromRecords(QByteArrayView contents, std::span<std::uint8_t> image);

// The same, showing every due error box through userDialogs(); true when the image may be written.
bool buildFlashImage(QByteArrayView contents, QByteArray& image);

}  // namespace verimant
