#pragma once

#include <QString>

namespace verimant::bench {

// Each starts a simulator of its own in `portsDir`, prints its figures and returns true, or
// explains on standard error why it could not and returns false.

// Request/answer round trips through the pty with the simulator answering at once: echo tests and
// 16-byte memory reads, alternately.
bool runTransactionRate(const QString& portsDir);

// 1000 external-flash writes of 128 bytes, with the sector erases they need, against a simulator
// that answers no faster than a 230400-baud line.
bool runEflashWrites(const QString& portsDir);

}  // namespace verimant::bench
