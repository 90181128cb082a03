#include "sim/main_firmware_check.h"

#include <QByteArrayView>
#include <QtEndian>

namespace verimant::sim {

namespace {

// The boot loader's own sum, computed here independently of the tool's, so that a fault in the
// tool's sealing shows as an instrument that stays in its boot loader.
std::uint32_t regionChecksum(const QByteArray& region, std::uint32_t firstOffset, bool fillIsZero) {
    std::uint32_t sum = fillIsZero ? 0xA5 : 0;
    for (qsizetype i = 0; i < region.size(); ++i) {
        const std::uint32_t offset = firstOffset + std::uint32_t(i);
        sum += std::uint32_t(std::uint8_t(region[i])) << (offset % 8);
    }
    return sum;
}

std::optional<std::uint16_t> markedVersion(const QByteArray& region) {
    const qsizetype at = region.indexOf(kFirmwareVersionMarker);
    if (at < 0) {
        return std::nullopt;
    }
    const QByteArray rest = region.mid(at + qsizetype(sizeof kFirmwareVersionMarker) - 1, 8);
    const qsizetype dot = rest.indexOf('.');
    if (dot <= 0) {
        return std::nullopt;
    }
    qsizetype end = dot + 1;
    while (end < rest.size() && rest[end] >= '0' && rest[end] <= '9') {
        ++end;
    }
    bool majorOk = false;
    bool minorOk = false;
    const uint major = rest.left(dot).toUInt(&majorOk);
    const uint minor = rest.mid(dot + 1, end - dot - 1).toUInt(&minorOk);
    if (!majorOk || !minorOk || major > 255 || minor > 255) {
        return std::nullopt;
    }
    return std::uint16_t(major << 8 | minor);
}

}  // namespace

MainFirmwareCheck checkMainFirmware(const FlashMemory& flash, const MemoryLayout& layout,
                                    int processorType) {
    MainFirmwareCheck check;
    const std::uint32_t start = layout.mainFirmwareStart;
    const std::uint32_t end = layout.checksumWordAddress;
    if (end <= start || !flash.contains(start, end - start + 4)) {
        return check;
    }
    const QByteArray region = flash.read(start, int(end - start));
    const QByteArray word = flash.read(end, 4);
    const bool fillIsZero = processorType < 1 || processorType > 3;
    check.whole = regionChecksum(region, start - flash.base(), fillIsZero) ==
                  qFromLittleEndian<std::uint32_t>(word.constData());
    check.markedVersion = markedVersion(region);
    return check;
}

}  // namespace verimant::sim
