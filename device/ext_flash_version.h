#pragma once

#include <QByteArrayView>

#include <cstdint>

namespace verimant {

struct DeviceSession;

// Result codes of reading the external-flash data version.
inline constexpr int kEflVersionRead = 1;
inline constexpr int kEflVersionTooShort = 0;
inline constexpr int kEflBadMinorCharacter = -100;
inline constexpr int kEflBadMajorCharacter = -101;
inline constexpr int kEflNumberTooLarge = -102;

// Where the external flash says its version text lies: entry 1 of the directory at 0x1000 gives
// the 4 KB sector (bytes 2-3) and the text's length (bytes 6-9); the text starts 64 bytes into
// that sector.
inline constexpr std::uint32_t kEflVersionEntryAddress = 0x1010;
inline constexpr int kEflVersionEntrySize = 16;
inline constexpr std::uint32_t kEflSectorSize = 4096;
inline constexpr std::uint32_t kEflVersionTextOffset = 64;
inline constexpr int kEflVersionTextLimit = 16;

// Decodes a version text such as "V1.05" or "1.5 " into major * 256 + minor. The text ends at the
// first control byte. Blanks are ignored, and "V" anywhere in the major part. Without a "." the
// whole text is the minor number. kEflVersionRead, or one of the negative codes above; `version`
// is written only on success.
int parseEflVersionText(QByteArrayView bytes, std::uint16_t& version);

// Reads and decodes the version text from the instrument: kEflVersionRead, kEflVersionTooShort
// when the recorded length is below 3, a negative parse code, or the failed read's own result
// (0 or -1). `version` is 0 unless the result is kEflVersionRead.
int DeviceExtFlashVersion_Get(DeviceSession& session, std::uint16_t& version);

}  // namespace verimant
