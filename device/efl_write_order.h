#pragma once

#include "device/write_plan.h"

#include <QByteArrayView>
#include <QList>
#include <QtGlobal>

#include <cstdint>

namespace verimant {

// The sectors that make the image's version readable and that the image covers: the directory
// sector and the sector its version entry names. The writer erases them before anything else and
// writes them last, so that a write cut anywhere leaves an instrument that reports no version, or
// its old one where the image does not reach, never the new version over old bytes.
QList<std::uint32_t> eflVersionSectors(QByteArrayView image);

// The image in writing order: every other sector in address order, then the version sectors.
QList<ByteRange> eflWriteOrder(qsizetype imageSize, const QList<std::uint32_t>& versionSectors);

}  // namespace verimant
