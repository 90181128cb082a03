#pragma once

#include <QString>

#include <cstdint>

namespace verimant {

// The 16-bit code M * 256 + m of a firmware version text "M.m" (M 1..255, m 0..255, blanks around
// the text allowed, leading zeros too: "1.05" is 1.5), the form the instrument reports. 0 means the
// text is no valid version.
std::uint16_t parseFirmwareVersion(const QString& text);

// An application version that could not be read.
inline constexpr std::int32_t kInvalidAppVersion = -2;

// a * 65536 + b * 256 + c of "a.b.c" (each part a decimal of 0 or more; text after the third part
// is ignored), or kInvalidAppVersion.
std::int32_t parseAppVersion(const QString& text);
// "a.b.c" of a value made by parseAppVersion.
QString formatAppVersion(std::int32_t value);

}  // namespace verimant
