#pragma once

#include "base/file_helpers.h"

#include <QElapsedTimer>
#include <QtGlobal>

namespace verimant {

// Every wait of the client ends. A stalled or dawdling server costs at most these times, after
// which the operation fails like any other failure of its kind and the control connection is
// closed.
struct FtpLimits {
    int connectMs = 15000;
    // A whole reply, continuation lines included, from its command; and, during a transfer, no
    // data moving for this long.
    int idleMs = 30000;
    // After its first transferGraceMs a transfer must have kept this average rate, so a server
    // that drips bytes just often enough to beat idleMs cannot stretch it.
    int transferGraceMs = 60000;
    qint64 minBytesPerSecond = 16384;
    // The longest file a download may bring.
    qint64 maxFileBytes = kMaxWholeFileSize;
    // What a data connection holds in memory before it reaches the file; beyond this the server
    // has to wait, whatever it sends.
    qint64 dataBufferBytes = 1 << 20;
};

// The clock of one transfer under the limits above.
class TransferPace {
public:
    explicit TransferPace(const FtpLimits& limits);

    // How long the wait for the next bytes may last with `movedBytes` moved so far: the idle
    // limit, cut short where the transfer would fall below the minimum rate; 0 once it has.
    int nextWaitMs(qint64 movedBytes) const;
    bool tooSlow(qint64 movedBytes) const { return nextWaitMs(movedBytes) == 0; }

private:
    qint64 allowedMs(qint64 movedBytes) const;

    int idleMs_;
    int graceMs_;
    qint64 minBytesPerSecond_;
    QElapsedTimer clock_;
};

}  // namespace verimant
