#include "device/efl_write_order.h"

#include "device/ext_flash_version.h"

#include <QtEndian>

#include <algorithm>

namespace verimant {

namespace {

// Bytes 2-3 of the version entry name the sector that holds the text.
constexpr int kEntrySectorOffset = 2;

}  // namespace

QList<std::uint32_t> eflVersionSectors(QByteArrayView image) {
    QList<std::uint32_t> sectors;
    const auto covers = [&image](std::uint32_t sector) {
        return qsizetype(sector) * kEflSectorSize < image.size();
    };
    const std::uint32_t directory = kEflVersionEntryAddress / kEflSectorSize;
    if (!covers(directory)) {
        return sectors;
    }
    sectors.append(directory);
    const qsizetype field = kEflVersionEntryAddress + kEntrySectorOffset;
    if (field + 2 <= image.size()) {
        const std::uint32_t text = qFromLittleEndian<std::uint16_t>(image.data() + field);
        if (text != directory && covers(text)) {
            sectors.append(text);
        }
    }
    return sectors;
}

QList<ByteRange> eflWriteOrder(qsizetype imageSize, const QList<std::uint32_t>& versionSectors) {
    QList<std::uint32_t> last = versionSectors;
    std::sort(last.begin(), last.end());
    QList<ByteRange> order;
    std::uint32_t from = 0;
    for (std::uint32_t sector : last) {
        const std::uint32_t start = sector * kEflSectorSize;
        appendByteRange(order, from, std::min<qsizetype>(start, imageSize));
        from = std::max(from, start + kEflSectorSize);
    }
    appendByteRange(order, from, imageSize);
    for (std::uint32_t sector : last) {
        const std::uint32_t start = sector * kEflSectorSize;
        order.append({start, std::min<qsizetype>(kEflSectorSize, imageSize - start)});
    }
    return order;
}

}  // namespace verimant
