#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <span>

namespace verimant {

// Image offset 0 is this instrument address for every processor type.
inline constexpr std::uint32_t kFlashImageBase = 0x08000000;
// Data records may not reach into the last bytes of the image.
inline constexpr qsizetype kFlashImageTailReserve = 5;

// Erased flash reads 0xFF on processor types 1 to 3; the image of every other type starts zeroed.
std::uint8_t flashImageFillByte(int processorTypeCode);
// A whole-flash image of `flashSize` bytes filled for the processor type; empty for a size <= 0.
QByteArray makeFlashImage(int processorTypeCode, int flashSize);

// The part of the image that the main-firmware writer sends: from the main-firmware start up to and
// including the checksum word, as image offsets.
struct FirmwareRegion {
    qsizetype start = 0;
    qsizetype checksumOffset = 0;

    qsizetype length() const { return checksumOffset - start + 4; }
};

// The region for the given instrument addresses, or nothing when it does not lie inside an image of
// `imageSize` bytes (start below the flash base, checksum word before the start or past the end).
std::optional<FirmwareRegion> firmwareRegion(qsizetype imageSize, std::uint32_t flashBase,
                                             std::uint32_t mainStart,
                                             std::uint32_t checksumAddress);

// The boot loader's check of the main firmware: every byte from the region's start up to the
// checksum word, shifted left by its image offset mod 8, summed into 32 bits starting from 0xA5 for
// a zero-filled image and from 0 otherwise. Bytes outside `image` are not counted.
std::uint32_t firmwareChecksum(std::span<const std::uint8_t> image, const FirmwareRegion& region,
                               std::uint8_t fillByte);

// Stores the checksum word little-endian at the region's checksum offset. False, image untouched,
// when the word does not fit in the image.
bool sealFirmwareImage(QByteArray& image, const FirmwareRegion& region, std::uint8_t fillByte);

}  // namespace verimant
