#pragma once

#include "device/readback_pieces.h"
#include "device/write_plan.h"

#include <QByteArrayView>

#include <QtGlobal>

#include <cstdint>
#include <optional>

namespace verimant {

struct DeviceSession;

// Reads back from `start` every byte of `expected` and compares, with progress in the log's last
// line, the status bar and the progress bar. True when all bytes match. Otherwise a log line gives
// the first differing address and how many bytes differ, or where the read-back got no answer.
// The pieces are as large as the instrument answers (see ReadBackPieces); a log line says which
// size was read with.
bool verifyWritten(DeviceSession& session, FlashArea area, std::uint32_t start,
                   QByteArrayView expected);
// The same over the given stretches of `expected` only (offsets from `start`, in order).
bool verifyWritten(DeviceSession& session, FlashArea area, std::uint32_t start,
                   QByteArrayView expected, const QList<ByteRange>& stretches);

// The first difference the last read-back of this program found, for a caller that must name it
// (the command line's error line); nothing when the last read-back matched or none ran since
// clearReadBackFinding().
struct ReadBackFinding {
    std::uint32_t address = 0;
    std::uint8_t written = 0;
    std::uint8_t read = 0;
    qsizetype differing = 0;
};
std::optional<ReadBackFinding> lastReadBackFinding();
void clearReadBackFinding();

}  // namespace verimant
