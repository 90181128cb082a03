#pragma once

#include <array>
#include <cstdint>

namespace verimant {

// The instrument's identity block as it lies in its memory; only the board codes and the serial
// number mean anything to the tool.
struct BoardRecord {
    static constexpr int kSize = 16;
    static constexpr int kSerialDigitCount = 8;

    std::array<std::uint8_t, kSize> raw{};

    int boardTypeCode() const { return raw[1]; }
    int boardVersion() const { return raw[2]; }
    int assemblingCode1() const { return raw[3]; }
    int assemblingCode2() const { return raw[4]; }
    // Digits 0..7 packed two per byte from byte 9 on, the first of each pair in the low nibble.
    // A damaged record can hold nibbles above 9.
    int serialDigit(int digit) const;
};

}  // namespace verimant
