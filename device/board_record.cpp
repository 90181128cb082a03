#include "device/board_record.h"

namespace verimant {

namespace {
constexpr int kSerialOffset = 9;
}

int BoardRecord::serialDigit(int digit) const {
    const std::uint8_t pair = raw[kSerialOffset + digit / 2];
    return digit % 2 == 0 ? pair & 0x0F : pair >> 4;
}

}  // namespace verimant
