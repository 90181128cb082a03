#pragma once

#include "bench/figure_output.h"

#include <QString>

#include <optional>

namespace verimant::bench {

// Each runs once against a simulator of its own in `portsDir` and returns its figures, or
// explains on standard error why it could not and returns nothing.

// Request/answer round trips through the pty with the simulator answering at once: echo tests and
// 16-byte memory reads, alternately.
std::optional<GroupRun> runTransactionRate(const QString& portsDir);

// 1000 external-flash writes of 128 bytes, with the sector erases they need, against a simulator
// that answers no faster than a 230400-baud line.
std::optional<GroupRun> runEflashWrites(const QString& portsDir);

// A 1 MiB data file written with Update_EFL, the whole external-flash update with its screen
// texts and progress, against the paced simulator.
std::optional<GroupRun> runUpdateEfl(const QString& portsDir);

// A generated serial-number base of 120,000 records: its load, a lookup of a serial that is not
// there (the whole scan), and the memory the loaded base holds beyond its file's size.
std::optional<GroupRun> runSerialBase(const QString& portsDir);

// An 8 MiB file from a local pyftpdlib server, fetched by fetchFile and by curl; `portsDir` only
// holds the files.
std::optional<GroupRun> runFtpFetch(const QString& portsDir);

}  // namespace verimant::bench
