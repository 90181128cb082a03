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
// that answers no faster than a 230400-baud line, by the tool and by a minimal blocking loop
// (the floor the machine sets).
std::optional<GroupRun> runEflashWrites(const QString& portsDir);

// A 1 MiB data file written with Update_EFL, the whole external-flash update with its screen
// texts and progress, against the paced simulator; again with read-back verification, and a 1 MiB
// file of which every other chunk is erased state, each against the plain write.
std::optional<GroupRun> runUpdateEfl(const QString& portsDir);

// An 8 MiB file from a local pyftpdlib server, fetched by fetchFile and by curl; `portsDir` only
// holds the files.
std::optional<GroupRun> runFtpFetch(const QString& portsDir);
// A generated serial-number base of 120,000 records: its load, a lookup of a serial that is not
// there (the whole scan), and the memory the loaded base holds beyond its file's size.
std::optional<GroupRun> runSerialBase(const QString& portsDir);

// The main window's start-up, from its creation to Timer_Connection running, against a local
// update server (pyftpdlib) whose serial-number base holds 120,000 instruments. No simulator.
std::optional<GroupRun> runStartUp(const QString& portsDir);

// The demo's whole upgrade (readout, firmware set from a local pyftpdlib server, both writes, the
// restarts and the display language) into a simulator paced at 230400 baud: once sending every
// chunk, as the writers did before they left out erased-state chunks, and once as they do now.
std::optional<GroupRun> runUpgrade(const QString& portsDir);

// Four paced simulated instruments upgraded at once by four verimant-cli processes against one
// local pyftpdlib server, against one such upgrade alone.
std::optional<GroupRun> runParallelUpgrade(const QString& portsDir);

// Eight paced simulated instruments upgraded by one 'verimant-cli upgrade --all', against one
// 'upgrade --port N' of one such instrument.
std::optional<GroupRun> runUpgradeAll(const QString& portsDir);

// `verimant-cli config` of a 2 MiB configuration with 20,000 sections (10,000 firmware sets and
// their files) from a local folder, the whole program's wall time. No simulator.
std::optional<GroupRun> runConfigListing(const QString& portsDir);

}  // namespace verimant::bench
