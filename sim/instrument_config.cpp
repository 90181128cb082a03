#include "sim/instrument_config.h"

namespace verimant::sim {

QString modeName(InstrumentMode mode) {
    return mode == InstrumentMode::BootLoader ? QStringLiteral("boot loader")
                                              : QStringLiteral("main firmware");
}

std::optional<QByteArray> parseSerialDigits(const QString& serial) {
    QString digits = serial;
    digits.remove(QLatin1Char('-'));
    if (digits.size() != 8) {
        return std::nullopt;
    }
    QByteArray nibbles;
    for (QChar c : digits) {
        const int value = QStringLiteral("0123456789ABCDEF").indexOf(c.toUpper());
        if (value < 0) {
            return std::nullopt;
        }
        nibbles.append(char(value));
    }
    return nibbles;
}

}  // namespace verimant::sim
