#include "update/ftp_limits.h"

#include <algorithm>
#include <limits>

namespace verimant {

TransferPace::TransferPace(const FtpLimits& limits)
    : idleMs_(limits.idleMs),
      graceMs_(limits.transferGraceMs),
      minBytesPerSecond_(limits.minBytesPerSecond) {
    clock_.start();
}

qint64 TransferPace::allowedMs(qint64 movedBytes) const {
    if (minBytesPerSecond_ <= 0)
        return std::numeric_limits<qint64>::max();
    return graceMs_ + movedBytes * 1000 / minBytesPerSecond_;
}

int TransferPace::nextWaitMs(qint64 movedBytes) const {
    const qint64 left = allowedMs(movedBytes) - clock_.elapsed();
    if (left <= 0)
        return 0;
    return static_cast<int>(std::min<qint64>(left, idleMs_));
}

}  // namespace verimant
