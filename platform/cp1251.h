#pragma once

#include <QByteArray>
#include <QString>

namespace verimant {

// Windows-1251, the 8-bit text of every file, frame and FTP command the tool exchanges. Every byte
// value round-trips: the one unassigned byte (0x98) maps to U+0098 and back.
QString decodeCp1251(const QByteArray& bytes);
// Characters without a CP1251 byte become '?'.
QByteArray encodeCp1251(const QString& text);

}  // namespace verimant
