#pragma once

#include <QString>

namespace verimant {

// The system's temporary folder (TMPDIR when set), without a trailing separator; empty when it
// does not exist.
QString systemTempPath();

// The tool's own folder below it, emptied at every start: <temp>/pelma; empty when the system
// folder is.
QString toolTempFolder();

}  // namespace verimant
