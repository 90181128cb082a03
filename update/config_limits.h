#pragma once

#include "update/update_source.h"

#include <QString>
#include <QtGlobal>

namespace verimant {

class ActivityLog;

// A real configuration is some tens of kilobytes. Its text is held whole, several times over while
// it is parsed, so without a bound a server (or anyone between it and the tool) could make every
// run take gigabytes.
inline constexpr qint64 kMaxConfigBytes = 4 * 1024 * 1024;

// The most files (the base and every FILE: section's NAME) a mirrored set may list: each may be
// tens of megabytes, and a mirror fetches them all.
inline constexpr int kMaxListedFiles = 64;

// Brings the configuration `serverName` to `localPath`, refusing one longer than kMaxConfigBytes
// before more than that has come; the refusal is logged.
FetchOutcome fetchConfigFile(UpdateSource& source, const QString& serverName,
                             const QString& localPath, ActivityLog& log);

}  // namespace verimant
