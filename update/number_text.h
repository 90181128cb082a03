#pragma once

#include <QStringView>

#include <cstdint>
#include <optional>

namespace verimant {

// A whole text of decimal digits with an optional sign, when it fits 32 bits signed. Blanks are
// not allowed: callers trim where the file format allows them.
std::optional<std::int32_t> parseDecimal32(QStringView text);

// One to eight Latin hexadecimal digits as an unsigned 32-bit value.
std::optional<std::uint32_t> parseHex32(QStringView text);

}  // namespace verimant
