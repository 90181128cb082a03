#pragma once

#include <QString>
#include <QStringList>

namespace verimant::cli {

// The FILE argument of write-kmt2 and write-efl, checked before any port is opened: a file that
// is missing, a folder, unreadable or (for write-kmt2) not a record file is bad usage, and the
// instrument is never restarted for it. Each returns the problem, or empty text.
QString checkWriteKmt2Arguments(const QStringList& arguments);
QString checkWriteEflArguments(const QStringList& arguments);

// At most `limit` characters of `bytes` as text a terminal shows safely: printable ASCII as it
// is, everything else as \xHH, and "..." when cut.
QString escapedExcerpt(const QByteArray& bytes, int limit);

}  // namespace verimant::cli
