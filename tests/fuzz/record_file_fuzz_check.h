#pragma once

#include "device/firmware_record_file.h"

#include <QByteArrayView>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace verimant::fuzz {

// Reads one arbitrary input as a record file into images of several sizes, each between guard
// bytes, and checks what must hold for any input: nothing written outside the image, a failure
// always explained by exactly one closing error box, and the same result on a second reading.
// Returns an empty text when everything holds, else what went wrong.
inline std::string checkRecordFileInput(QByteArrayView input) {
    constexpr std::size_t kGuard = 64;
    constexpr std::uint8_t kGuardByte = 0xA7;
    const QString header = QStringLiteral("Ошибка преобразования HEX\n");
    const QString unknownType = QStringLiteral("Неизвестная команда");

    for (std::size_t imageSize : {std::size_t{0x40000}, std::size_t{0x1000}, std::size_t{5}}) {
        std::vector<std::uint8_t> buffer(imageSize + 2 * kGuard, kGuardByte);
        const std::span<std::uint8_t> image(buffer.data() + kGuard, imageSize);
        std::fill(image.begin(), image.end(), 0xFF);

        const RecordFileResult result = buildImageFromRecords(input, image);

        for (std::size_t i = 0; i < kGuard; ++i) {
            if (buffer[i] != kGuardByte || buffer[kGuard + imageSize + i] != kGuardByte) {
                return "write outside the image of " + std::to_string(imageSize) + " bytes";
            }
        }
        if (imageSize <= 5 &&
            std::any_of(image.begin(), image.end(), [](std::uint8_t b) { return b != 0xFF; })) {
            return "data placed in an image too small to take any";
        }
        int closingErrors = 0;
        for (const QString& box : result.errorBoxes) {
            if (!box.startsWith(header)) {
                return "error box without its header";
            }
            if (!box.endsWith(unknownType)) {
                ++closingErrors;
            }
        }
        if (closingErrors > (result.ok ? 0 : 1) || (!result.ok && result.errorBoxes.isEmpty())) {
            return "failure and error boxes disagree";
        }
        if (result.endRecordSeen && !result.ok) {
            return "end record seen but the build failed";
        }
        if (result.linesRead < 0 || result.linesRead > input.size()) {
            return "impossible line count";
        }
        const std::vector<std::uint8_t> first(image.begin(), image.end());
        const RecordFileResult again = buildImageFromRecords(input, image);
        if (again.ok != result.ok || again.errorBoxes != result.errorBoxes ||
            !std::equal(first.begin(), first.end(), image.begin())) {
            return "a second reading differs";
        }
    }
    return {};
}

}  // namespace verimant::fuzz
