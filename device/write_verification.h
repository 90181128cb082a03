#pragma once

#include "device/readback_pieces.h"

#include <QByteArrayView>

#include <cstdint>

namespace verimant {

struct DeviceSession;

// Reads back from `start` every byte of `expected` and compares, with progress in the log's last
// line, the status bar and the progress bar. True when all bytes match. Otherwise a log line gives
// the first differing address and how many bytes differ, or where the read-back got no answer.
// The pieces are as large as the instrument answers (see ReadBackPieces); a log line says which
// size was read with.
bool verifyWritten(DeviceSession& session, FlashArea area, std::uint32_t start,
                   QByteArrayView expected);

}  // namespace verimant
