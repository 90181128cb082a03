#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>

namespace verimant::test {

// Record lines written the way a firmware tool writes them: upper-case digits and a correct
// checksum, so a test changes only what it means to break.
inline QByteArray recordLineFromBytes(QByteArrayView bytesWithoutChecksum) {
    std::uint8_t sum = 0;
    for (char byte : bytesWithoutChecksum) {
        sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(byte));
    }
    QByteArray bytes = bytesWithoutChecksum.toByteArray();
    bytes.append(static_cast<char>(static_cast<std::uint8_t>(-sum)));
    return ':' + bytes.toHex().toUpper();
}

inline QByteArray recordLine(std::uint8_t type, std::uint16_t offset, QByteArrayView data) {
    QByteArray bytes;
    bytes.append(static_cast<char>(data.size()));
    bytes.append(static_cast<char>(offset >> 8));
    bytes.append(static_cast<char>(offset & 0xFF));
    bytes.append(static_cast<char>(type));
    bytes.append(data.toByteArray());
    return recordLineFromBytes(bytes);
}

inline QByteArray dataLine(std::uint16_t offset, QByteArrayView data) {
    return recordLine(0x00, offset, data);
}

inline QByteArray addressLine(std::uint16_t upper) {
    const char data[] = {static_cast<char>(upper >> 8), static_cast<char>(upper & 0xFF)};
    return recordLine(0x04, 0, QByteArrayView(data, 2));
}

inline QByteArray startLine(std::uint32_t address) {
    const char data[] = {static_cast<char>(address >> 24), static_cast<char>(address >> 16),
                         static_cast<char>(address >> 8), static_cast<char>(address)};
    return recordLine(0x05, 0, QByteArrayView(data, 4));
}

inline const QByteArray kEndLine = QByteArrayLiteral(":00000001FF");

// Bytes 0, 1, 2, ... of the given count, offset by `first`.
inline QByteArray countingBytes(int count, int first = 0) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        bytes.append(static_cast<char>(first + i));
    }
    return bytes;
}

// The box text for an error at `lineNumber` while reading `line`.
inline QString recordErrorBox(int lineNumber, const QString& line, const QString& text) {
    return QStringLiteral("Ошибка преобразования HEX\n") + QString::number(lineNumber) +
           QStringLiteral(" [") + line + QStringLiteral("]\n") + text;
}

}  // namespace verimant::test
