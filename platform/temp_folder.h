#pragma once

#include <QString>

namespace verimant {

// The system's temporary folder (TMPDIR when set), without a trailing separator.
QString systemTempPath();

// The tool's own folder below it, emptied at every start: <temp>/pelma.
QString toolTempFolder();

}  // namespace verimant
