#include "device/hex_record_parser.h"

#include "base/file_helpers.h"

#include <algorithm>

namespace verimant {

namespace {

constexpr std::uint8_t kNotADigit = 255;

}  // namespace

void HexRecordParser::reset() {
    *this = HexRecordParser();
}

int HexRecordParser::fail(const QString& text) {
    latched_ = true;
    errorText_ = text;
    recordByteCount_ = 0;
    haveDataRecord_ = false;
    return 0;
}

QString HexRecordParser::messageFor(const QString& text) const {
    return QStringLiteral("Ошибка преобразования HEX\n") + QString::number(lineNumber_) +
           QStringLiteral(" [") + lastLine_ + QStringLiteral("]\n") + text;
}

int HexRecordParser::parseLine(const QString& line) {
    if (latched_) {
        return 0;
    }
    ++lineNumber_;
    lastLine_ = line;
    recordByteCount_ = 0;
    haveDataRecord_ = false;

    const qsizetype length = line.size();
    if (length < kMinLineLength) {
        return fail(QStringLiteral("Длина записи < 11 L=") + QString::number(length));
    }
    if (length > kMaxLineLength) {
        return fail(QStringLiteral("Длина записи > 65 L=") + QString::number(length));
    }
    if (length % 2 == 0) {
        return fail(QStringLiteral("Нецелое число цифр"));
    }
    if (line.at(0) != QLatin1Char(':')) {
        return fail(QStringLiteral("Нет маркера :"));
    }

    unsigned sum = 0;
    int count = 0;
    for (qsizetype position = 1; position + 1 < length; position += 2) {
        const std::uint8_t high = hexDigitValue(line.at(position));
        const std::uint8_t low = hexDigitValue(line.at(position + 1));
        if (high == kNotADigit || low == kNotADigit) {
            return fail(QStringLiteral("D[") + QString::number(position) + QStringLiteral("]=0x") +
                        line.mid(position, 2) + QStringLiteral(" не является HEX"));
        }
        const auto byte = static_cast<std::uint8_t>(high << 4 | low);
        bytes_[count++] = byte;
        sum += byte;
    }
    if (sum % 256 != 0) {
        return fail(QStringLiteral("Ошибка CRC"));
    }
    const int dataBytesByLength = static_cast<int>((length - kMinLineLength) / 2);
    if (bytes_[0] != dataBytesByLength) {
        return fail(QStringLiteral("Несоответствие длины записи и длины данных LENGTH=") +
                    QString::number(bytes_[0]) + QStringLiteral("Lфакт=") +
                    QString::number(dataBytesByLength));
    }
    recordByteCount_ = static_cast<int>((length - 1) / 2);
    return 1;
}

int HexRecordParser::interpretAsData() {
    if (!hasRecord()) {
        return 0;
    }
    if (recordType() != kTypeData) {
        return -1;
    }
    if (lengthField() > kMaxDataBytes) {
        return fail(QStringLiteral("{DATA}-длина данных должна быть не более 32"));
    }
    dataAddress_ = baseAddress_ + static_cast<std::uint32_t>(offsetField());
    dataLength_ = lengthField();
    haveDataRecord_ = true;
    return 1;
}

int HexRecordParser::interpretAsAddress() {
    if (!hasRecord()) {
        return 0;
    }
    if (recordType() != kTypeAddress) {
        return -1;
    }
    if (recordByteCount_ != 7) {
        return fail(QStringLiteral("{ADDRESS}-длина записи должна быть 7"));
    }
    if (lengthField() != 2) {
        return fail(QStringLiteral("{ADDRESS}-длина данных должна быть 2"));
    }
    if (offsetField() != 0) {
        return fail(QStringLiteral("{ADDRESS}-OFFSET должен быть 0"));
    }
    const std::uint8_t* data = dataBytes();
    baseAddress_ = (std::uint32_t{data[0]} << 8 | data[1]) << 16;
    return 1;
}

int HexRecordParser::interpretAsStart() {
    if (!hasRecord()) {
        return 0;
    }
    if (recordType() != kTypeStart) {
        return -1;
    }
    if (lengthField() != 4) {
        return fail(QStringLiteral("{START}-длина данных должна быть 4"));
    }
    if (offsetField() != 0) {
        return fail(QStringLiteral("{START}-OFFSET должен быть 0"));
    }
    const std::uint8_t* data = dataBytes();
    startAddress_ = std::uint32_t{data[0]} << 24 | std::uint32_t{data[1]} << 16 |
                    std::uint32_t{data[2]} << 8 | data[3];
    return 1;
}

int HexRecordParser::interpretAsEnd() {
    if (!hasRecord()) {
        return 0;
    }
    if (recordType() != kTypeEnd) {
        return -1;
    }
    if (recordByteCount_ != 5) {
        return fail(QStringLiteral("{END}-неправильная длина записи"));
    }
    if (lengthField() != 0 || offsetField() != 0) {
        return fail(QStringLiteral("{END}-LENGTH и OFFSET должны быть 0"));
    }
    return 1;
}

bool HexRecordParser::copyData(std::span<std::uint8_t> destination) const {
    if (!haveDataRecord_ || latched_ || destination.size() < static_cast<size_t>(dataLength_)) {
        return false;
    }
    std::copy_n(dataBytes(), dataLength_, destination.begin());
    return true;
}

}  // namespace verimant
