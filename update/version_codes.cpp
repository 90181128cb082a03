#include "update/version_codes.h"

#include "update/number_text.h"

#include <limits>

namespace verimant {

std::uint16_t parseFirmwareVersion(const QString& text) {
    const QString version = text.trimmed();
    const qsizetype dot = version.indexOf(u'.');
    if (dot <= 0) {
        return 0;
    }
    const std::optional<std::int32_t> major = parseDecimal32(QStringView(version).left(dot));
    const std::optional<std::int32_t> minor = parseDecimal32(QStringView(version).mid(dot + 1));
    if (!major || !minor || *major < 1 || *major > 255 || *minor < 0 || *minor > 255) {
        return 0;
    }
    return static_cast<std::uint16_t>(*major * 256 + *minor);
}

std::int32_t parseAppVersion(const QString& text) {
    QStringView rest(text);
    std::int64_t value = 0;
    for (int part = 0; part < 3; ++part) {
        // The text ends as if a dot followed it, so "1.2.3" needs no dot of its own at the end.
        const qsizetype dot = rest.indexOf(u'.');
        const QStringView number = dot < 0 ? rest : rest.left(dot);
        if (dot < 0 && part < 2) {
            return kInvalidAppVersion;
        }
        const std::optional<std::int32_t> parsed = parseDecimal32(number.trimmed());
        if (!parsed || *parsed < 0) {
            return kInvalidAppVersion;
        }
        value = value * 256 + *parsed;
        rest = dot < 0 ? QStringView() : rest.mid(dot + 1);
    }
    // Parts have no range of their own, but a value past 32 bits would wrap into another version.
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return kInvalidAppVersion;
    }
    return static_cast<std::int32_t>(value);
}

QString formatAppVersion(std::int32_t value) {
    if (value < 0) {
        return QString();
    }
    return QStringLiteral("%1.%2.%3").arg(value / 65536).arg(value / 256 % 256).arg(value % 256);
}

}  // namespace verimant
