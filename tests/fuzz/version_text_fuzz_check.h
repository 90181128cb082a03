#pragma once

#include "device/ext_flash_version.h"
#include "platform/cp1251.h"
#include "update/version_codes.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <string>

namespace verimant::fuzz {

// The external flash's version text read a second, plain way: the text ends at the first control
// byte; the minor number follows the last ".", the major number precedes it; blanks do not count,
// and "V" only in the major part; leading zeros do not count either.
struct PlainVersionReading {
    int result = kEflVersionRead;
    std::uint16_t version = 0;
};

inline PlainVersionReading readVersionPlainly(QByteArrayView bytes) {
    QByteArray text;
    for (char c : bytes) {
        if (std::uint8_t(c) < 0x20) {
            break;
        }
        text.append(c);
    }
    const qsizetype dot = text.lastIndexOf('.');
    const QByteArray minorPart = dot < 0 ? text : text.mid(dot + 1);
    const QByteArray majorPart = dot < 0 ? QByteArray() : text.left(dot);
    const auto number = [](const QByteArray& part, bool allowV, long& value) {
        QByteArray digits;
        for (char c : part) {
            if (c >= '0' && c <= '9') {
                digits.append(c);
            } else if (c != ' ' && !(allowV && c == 'V')) {
                return false;
            }
        }
        while (digits.startsWith('0')) {
            digits.remove(0, 1);
        }
        value = digits.size() > 3 ? 1000 : (digits.isEmpty() ? 0 : digits.toLong());
        return true;
    };
    long minor = 0;
    long major = 0;
    if (!number(minorPart, false, minor)) {
        return {kEflBadMinorCharacter, 0};
    }
    if (!number(majorPart, true, major)) {
        return {kEflBadMajorCharacter, 0};
    }
    if (major > 255 || minor > 255) {
        return {kEflNumberTooLarge, 0};
    }
    return {kEflVersionRead, std::uint16_t(major * 256 + minor)};
}

// The external flash's version text from an instrument: the decoder agrees with the plain reading,
// leaves the version alone when it fails, and reads its own text form back.
inline std::string checkEflVersionText(QByteArrayView input) {
    constexpr std::uint16_t kUntouched = 0xA5A5;
    std::uint16_t version = kUntouched;
    const int result = parseEflVersionText(input, version);
    const PlainVersionReading plain = readVersionPlainly(input);
    if (result != plain.result) {
        return "result " + std::to_string(result) + ", plainly " + std::to_string(plain.result);
    }
    if (result != kEflVersionRead) {
        return version == kUntouched ? std::string() : "version changed although the text failed";
    }
    if (version != plain.version) {
        return "version " + std::to_string(version) + ", plainly " + std::to_string(plain.version);
    }
    const QByteArray form =
        "V" + QByteArray::number(version >> 8) + "." + QByteArray::number(version & 0xFF);
    std::uint16_t again = 0;
    if (parseEflVersionText(form, again) != kEflVersionRead || again != version) {
        return "its own text form " + form.toStdString() + " reads differently";
    }
    return {};
}

// A firmware version from the update configuration: 0 or a code with a major number of 1 to 255;
// blanks around the text do not matter; a valid code reads back from its own text form.
inline std::string checkFirmwareVersionText(const QString& text) {
    const std::uint16_t code = parseFirmwareVersion(text);
    if (code != 0 && code < 0x100) {
        return "firmware version with major number 0";
    }
    if (parseFirmwareVersion(QStringLiteral("  ") + text + QStringLiteral(" ")) != code) {
        return "blanks around the firmware version change it";
    }
    const QString form = QStringLiteral("%1.%2").arg(code >> 8).arg(code & 0xFF);
    if (code != 0 && parseFirmwareVersion(form) != code) {
        return "firmware version " + form.toStdString() + " reads differently";
    }
    return {};
}

// An application version from the update configuration: invalid or not negative, and a value
// reads back from its own text form, which is what the self-version check compares.
inline std::string checkAppVersionText(const QString& text) {
    const std::int32_t value = parseAppVersion(text);
    if (value < 0 && value != kInvalidAppVersion) {
        return "negative application version " + std::to_string(value);
    }
    if (value >= 0 && parseAppVersion(formatAppVersion(value)) != value) {
        return "application version " + formatAppVersion(value).toStdString() +
               " reads differently";
    }
    if (value < 0 && !formatAppVersion(value).isEmpty()) {
        return "an invalid application version has a text form";
    }
    return {};
}

// Every version text decoder, given the same arbitrary bytes: as the instrument sends them and as
// the configuration holds them (CP1251). Empty when everything holds, else what went wrong.
inline std::string checkVersionTextInput(QByteArrayView input) {
    const QString text = decodeCp1251(input.toByteArray());
    for (const std::string& problem :
         {checkEflVersionText(input), checkFirmwareVersionText(text), checkAppVersionText(text)}) {
        if (!problem.empty()) {
            return problem;
        }
    }
    return {};
}

}  // namespace verimant::fuzz
