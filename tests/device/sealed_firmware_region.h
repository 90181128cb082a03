#pragma once

#include "device/firmware_record_file.h"
#include "device/flash_image.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <cstdint>

namespace verimant::test {

// The main firmware's region as the writer builds and seals it from `recordFile` for the
// simulator's default processor (type 3, 256 KiB), and so as it must then lie in its flash.
inline QByteArray sealedFirmwareRegion(const QByteArray& recordFile, std::uint32_t mainStart,
                                       std::uint32_t checksumAddress) {
    constexpr int kFlashSize = 256 * 1024;
    QByteArray image = makeFlashImage(3, kFlashSize);
    auto* bytes = reinterpret_cast<std::uint8_t*>(image.data());
    if (!buildImageFromRecords(recordFile, {bytes, size_t(image.size())}).ok) {
        ADD_FAILURE() << "the record file does not build an image";
        return {};
    }
    const auto region = firmwareRegion(image.size(), kFlashImageBase, mainStart, checksumAddress);
    if (!region || !sealFirmwareImage(image, *region, 0xFF)) {
        ADD_FAILURE() << "the firmware does not seal";
        return {};
    }
    return image.mid(region->start, region->length());
}

}  // namespace verimant::test
