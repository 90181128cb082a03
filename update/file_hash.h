#pragma once

#include <QString>

namespace verimant {

class ActivityLog;

// A SHA-256 as a configuration gives it: 64 hexadecimal digits, either case.
bool isSha256Text(const QString& text);

// The SHA-256 of the file's bytes in lower-case hexadecimal; empty when it cannot be read.
QString fileSha256(const QString& path);

// Whether the file at `path`, fetched under `serverName`, has the SHA-256 `expected` (either
// case). A mismatch is logged with the file's name and both hashes.
bool fileMatchesSha256(const QString& path, const QString& serverName, const QString& expected,
                       ActivityLog& log);

}  // namespace verimant
