#pragma once

#include "base/file_helpers.h"

#include <QtGlobal>

namespace verimant {

// Every wait of the transport ends. A stalled or dawdling server costs at most these times, after
// which the operation fails like any other failure of its kind. curl counts the reply and
// transfer limits in whole seconds: they are rounded up.
struct TransferLimits {
    // The connection, TLS handshake included.
    int connectMs = 15000;
    // A whole reply, continuation lines included, from its command.
    int idleMs = 30000;
    // A transfer slower than minBytesPerSecond over this long has failed, so a server that drips
    // bytes just often enough to seem alive cannot stretch it.
    int transferGraceMs = 60000;
    qint64 minBytesPerSecond = 16384;
    // The longest file a download may bring.
    qint64 maxFileBytes = kMaxWholeFileSize;

    // The whole operation's deadline for `bytes` to move at the slowest allowed rate: the last
    // word over every limit above, so that no mix of trickles stretches an operation.
    qint64 overallMs(qint64 bytes) const;
};

}  // namespace verimant
