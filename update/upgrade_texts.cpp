#include "update/upgrade_texts.h"

#include "device/device_text_forms.h"

namespace verimant {

QString firmwareSetSection(int boardNumber, int boardVersion, const QString& modelName,
                           const QString& packet) {
    return QStringLiteral("SOFT_SET:TRV-") + QString::number(boardNumber) + QStringLiteral(".V") +
           QString::number(boardVersion) + QLatin1Char('.') + modelName + QLatin1Char('.') + packet;
}

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

}  // namespace verimant
