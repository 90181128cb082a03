#include "device/ext_flash_version.h"

#include "base/activity_log.h"
#include "device/device_session.h"
#include "link/device_commands.h"
#include "link/device_records.h"

#include <algorithm>
#include <array>

namespace verimant {

namespace {

constexpr int kMinimumTextLength = 3;
constexpr std::int64_t kLargestPart = 255;
// Beyond this the accumulated number only needs to stay "too large".
constexpr std::int64_t kSaturated = kLargestPart + 1;

// One decimal number read backwards, units first. Saturates so that a long run of digits cannot
// overflow.
class BackwardNumber {
public:
    void addDigit(char c) {
        value_ = std::min(value_ + std::int64_t(c - '0') * weight_, kSaturated);
        weight_ = std::min(weight_ * 10, kSaturated * 10);
    }
    std::int64_t value() const { return value_; }

private:
    std::int64_t value_ = 0;
    std::int64_t weight_ = 1;
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

QByteArrayView untilControlByte(QByteArrayView bytes) {
    const auto end =
        std::find_if(bytes.begin(), bytes.end(), [](char c) { return std::uint8_t(c) < 0x20; });
    return bytes.first(end - bytes.begin());
}

}  // namespace

int parseEflVersionText(QByteArrayView bytes, std::uint16_t& version) {
    const QByteArrayView text = untilControlByte(bytes);
    qsizetype at = text.size() - 1;
    BackwardNumber minor;
    for (; at >= 0 && text[at] != '.'; --at) {
        if (isDigit(text[at])) {
            minor.addDigit(text[at]);
        } else if (text[at] != ' ') {
            return kEflBadMinorCharacter;
        }
    }
    BackwardNumber major;
    for (--at; at >= 0; --at) {
        if (isDigit(text[at])) {
            major.addDigit(text[at]);
        } else if (text[at] != ' ' && text[at] != 'V') {
            return kEflBadMajorCharacter;
        }
    }
    if (major.value() > kLargestPart || minor.value() > kLargestPart) {
        return kEflNumberTooLarge;
    }
    version = std::uint16_t(major.value() * 256 + minor.value());
    return kEflVersionRead;
}

int DeviceExtFlashVersion_Get(DeviceSession& session, std::uint16_t& version) {
    session.log.AddLine(QStringLiteral("==>DeviceExtFlashVersion_Get"));
    version = 0;
    // A short answer leaves the missing fields 0 instead of stale bytes.
    std::array<std::uint8_t, kEflVersionEntrySize> entry{};
    const int entryRead =
        session.commands.readEflash(kEflVersionEntryAddress, entry.data(), int(entry.size()), true);
    if (entryRead <= 0) {
        return entryRead;
    }
    const std::uint32_t recorded = readLe32(&entry[6]);
    const int length =
        recorded < std::uint32_t(kEflVersionTextLimit) ? int(recorded) : kEflVersionTextLimit;
    if (length < kMinimumTextLength) {
        return kEflVersionTooShort;
    }
    const std::uint32_t textAddress = readLe16(&entry[2]) * kEflSectorSize + kEflVersionTextOffset;
    std::array<std::uint8_t, kEflVersionTextLimit> text{};
    const int textRead = session.commands.readEflash(textAddress, text.data(), length, true);
    if (textRead <= 0) {
        return textRead;
    }
    std::uint16_t parsed = 0;
    const int result = parseEflVersionText(
        QByteArrayView(reinterpret_cast<const char*>(text.data()), textRead), parsed);
    if (result == kEflVersionRead) {
        version = parsed;
    }
    return result;
}

}  // namespace verimant
