#include "device/device_text_forms.h"

#include <QStringList>

namespace verimant {

namespace {

constexpr char kDigitChars[] = "0123456789ABCDEF";
constexpr int kBoardNumbers[] = {245, 290, 278, 274, 288, 180, 76, 274, 187, 189, 299, 7};
constexpr int kF4BoardType = 1;

QChar digitChar(const BoardRecord& record, int digit) {
    return QChar::fromLatin1(kDigitChars[record.serialDigit(digit)]);
}

QString digitRange(const BoardRecord& record, int first, int last) {
    QString text;
    for (int digit = first; digit <= last; ++digit) {
        text.append(digitChar(record, digit));
    }
    return text;
}

QString f4LineText(int assemblingCode2) {
    switch (assemblingCode2) {
        case 1:
            return QStringLiteral("104");
        case 2:
            return QStringLiteral("373");
        case 3:
            return QStringLiteral("107_New_ПЭ");
        default:
            return QStringLiteral("ERR");
    }
}

}  // namespace

QString versionText(std::uint16_t version) {
    return QString::number(version >> 8) + '.' + QString::number(version & 0xFF);
}

QString uidText(const ProcessorUid& uid) {
    QStringList pairs;
    for (const std::uint8_t byte : uid) {
        pairs.append(QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper());
    }
    return pairs.join(':');
}

QString serialText(const BoardRecord& record) {
    return digitRange(record, 0, 0) + '-' + digitRange(record, 1, 2) + '-' +
           digitRange(record, 3, BoardRecord::kSerialDigitCount - 1);
}

QString serialDigits(const BoardRecord& record) {
    return digitRange(record, 0, BoardRecord::kSerialDigitCount - 1);
}

QString modelKey(const BoardRecord& record) {
    return 'Y' + QString::number(record.serialDigit(1) * 10 + record.serialDigit(2));
}

std::optional<int> boardNumber(int boardTypeCode) {
    constexpr int count = int(std::size(kBoardNumbers));
    if (boardTypeCode < 1 || boardTypeCode > count) {
        return std::nullopt;
    }
    return kBoardNumbers[boardTypeCode - 1];
}

QString boardText(const BoardRecord& record) {
    const std::optional<int> number = boardNumber(record.boardTypeCode());
    if (!number) {
        return QStringLiteral("UNKNOWN");
    }
    return "TRV-" + QString::number(*number) + '.' + QString::number(record.boardVersion());
}

QString assemblingText(const BoardRecord& record) {
    if (record.boardTypeCode() == kF4BoardType && record.assemblingCode1() == 1) {
        return "F4:L=" + f4LineText(record.assemblingCode2());
    }
    return '(' + QString::number(record.assemblingCode1()) + ':' +
           QString::number(record.assemblingCode2()) + ')';
}

}  // namespace verimant
