#pragma once

#include "link/frame_codec.h"

#include <QByteArray>
#include <QFile>
#include <QtEndian>

#include <cstdint>

namespace verimant::sim::test {

inline QByteArray le32(std::uint32_t value) {
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

inline QByteArray le16(std::uint16_t value) {
    QByteArray bytes(2, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

inline std::uint32_t readLe32(const QByteArray& bytes, int offset) {
    return qFromLittleEndian<std::uint32_t>(bytes.constData() + offset);
}

inline std::uint16_t readLe16(const QByteArray& bytes, int offset) {
    return qFromLittleEndian<std::uint16_t>(bytes.constData() + offset);
}

inline QByteArray command(int group, int code) {
    return QByteArray(1, char(group)) + char(code);
}

// A request body as the tool's channel `node` sends it to the instrument.
inline QByteArray requestBody(const QByteArray& payload, int node = 1) {
    return QByteArray("\x00\x01\x00", 3) + char(node) + payload;
}

inline QByteArray readRequest(int group, int code, std::uint32_t address, int count) {
    return command(group, code) + le32(address) + char(count);
}

inline QByteArray writeRequest(int group, int code, std::uint32_t address, const QByteArray& data) {
    return command(group, code) + le32(address) + char(data.size()) + data;
}

// Bytes a body occupies on the line once framed, delimiters and stuffing included.
inline qint64 encodedSize(const QByteArray& body) {
    const auto frame = encodeFrame(body);
    return frame ? frame->size() : -1;
}

inline QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

}  // namespace verimant::sim::test
