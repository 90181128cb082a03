#pragma once

#include <QStringList>

namespace verimant::cli {

class CliRun;

// upgrade: the window's upgrade of the instrument on --port, then its log appended to the
// instrument's report on the server. check: the same up to the list of changes; writes nothing.
int runUpgradeCommand(CliRun& run, const QStringList& arguments);
int runCheckCommand(CliRun& run, const QStringList& arguments);
// upgrade --all: one worker process per port, each an 'upgrade --port N --json'; a closing
// table, and exit 0 only when every instrument that was started was written.
int runUpgradeAllCommand(CliRun& run);

}  // namespace verimant::cli
