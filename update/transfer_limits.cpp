#include "update/transfer_limits.h"

namespace verimant {

qint64 TransferLimits::overallMs(qint64 bytes) const {
    // Login, folders and the closing replies: a handful of replies, each within idleMs.
    constexpr int kReplies = 8;
    const qint64 moving = minBytesPerSecond > 0 ? bytes * 1000 / minBytesPerSecond : 0;
    return connectMs + qint64(kReplies) * idleMs + transferGraceMs + moving;
}

}  // namespace verimant
