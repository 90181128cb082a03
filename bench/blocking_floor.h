#pragma once

#include "bench/measured_span.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace verimant::bench {

// The external-flash writes of `data` in 128-byte chunks, each 4 KiB sector erased before its first
// write, sent by the plainest loop there is: one thread, blocking writes and reads on the port, no
// reader thread, no event loop. What it takes against the paced simulator is what the machine, the
// pty and the simulator impose; the tool's own cost is what it needs beyond that. Nothing, with the
// reason on standard error, when the simulator does not answer.
std::optional<SpanFigures> blockingEflashWrites(const QString& portsDir, int port,
                                                const QByteArray& data);

}  // namespace verimant::bench
