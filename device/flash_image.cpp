#include "device/flash_image.h"

#include <algorithm>

namespace verimant {

std::uint8_t flashImageFillByte(int processorTypeCode) {
    return processorTypeCode >= 1 && processorTypeCode <= 3 ? 0xFF : 0x00;
}

QByteArray makeFlashImage(int processorTypeCode, int flashSize) {
    if (flashSize <= 0) {
        return {};
    }
    return QByteArray(flashSize, static_cast<char>(flashImageFillByte(processorTypeCode)));
}

std::optional<FirmwareRegion> firmwareRegion(qsizetype imageSize, std::uint32_t flashBase,
                                             std::uint32_t mainStart,
                                             std::uint32_t checksumAddress) {
    const qint64 start = qint64{mainStart} - qint64{flashBase};
    const qint64 checksumOffset = qint64{checksumAddress} - qint64{flashBase};
    if (start < 0 || checksumAddress < mainStart || checksumOffset + 4 > imageSize) {
        return std::nullopt;
    }
    return FirmwareRegion{start, checksumOffset};
}

std::uint32_t firmwareChecksum(std::span<const std::uint8_t> image, const FirmwareRegion& region,
                               std::uint8_t fillByte) {
    std::uint32_t sum = fillByte == 0x00 ? 0xA5 : 0;
    const qsizetype end = std::min<qsizetype>(region.checksumOffset, image.size());
    for (qsizetype i = std::max<qsizetype>(region.start, 0); i < end; ++i) {
        sum += std::uint32_t{image[i]} << (i % 8);
    }
    return sum;
}

bool sealFirmwareImage(QByteArray& image, const FirmwareRegion& region, std::uint8_t fillByte) {
    if (region.start < 0 || region.checksumOffset < region.start ||
        region.checksumOffset + 4 > image.size()) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(image.constData());
    const std::uint32_t sum =
        firmwareChecksum({bytes, static_cast<size_t>(image.size())}, region, fillByte);
    for (int i = 0; i < 4; ++i) {
        image[region.checksumOffset + i] = static_cast<char>(sum >> (8 * i));
    }
    return true;
}

}  // namespace verimant
