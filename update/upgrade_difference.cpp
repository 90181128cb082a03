#include "update/upgrade_difference.h"

#include "device/device_text_forms.h"

#include <QStringList>

namespace verimant {

QString upgradeDifferenceText(std::uint16_t deviceMain, std::uint16_t setMain,
                              std::uint16_t deviceEfl, std::uint16_t setEfl) {
    QString text;
    if (setMain != deviceMain) {
        text += QStringLiteral("KMT2 [") + versionText(deviceMain) + QStringLiteral("] --> [") +
                versionText(setMain) + QLatin1Char(']');
    }
    if (setEfl != deviceEfl) {
        text += QStringLiteral("\nEFL  [") + versionText(deviceEfl) + QStringLiteral("] --> [") +
                versionText(setEfl) + QLatin1Char(']');
    }
    return text;
}

QString downgradeText(std::uint16_t deviceMain, std::uint16_t setMain, std::uint16_t deviceEfl,
                      std::uint16_t setEfl) {
    QStringList parts;
    if (setMain < deviceMain) {
        parts << QStringLiteral("KMT2 %1 -> %2").arg(versionText(deviceMain), versionText(setMain));
    }
    if (setEfl < deviceEfl) {
        parts << QStringLiteral("EFL %1 -> %2").arg(versionText(deviceEfl), versionText(setEfl));
    }
    return parts.join(QStringLiteral(", "));
}

}  // namespace verimant
