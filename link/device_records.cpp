#include "link/device_records.h"

#include <algorithm>

namespace verimant {

namespace {

const std::uint8_t* bytesOf(const QByteArray& bytes) {
    return reinterpret_cast<const std::uint8_t*>(bytes.constData());
}

}  // namespace

std::uint16_t readLe16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::uint32_t readLe32(const std::uint8_t* bytes) {
    return std::uint32_t(bytes[0]) | (std::uint32_t(bytes[1]) << 8) |
           (std::uint32_t(bytes[2]) << 16) | (std::uint32_t(bytes[3]) << 24);
}

void appendLe16(QByteArray& out, std::uint16_t value) {
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}

void appendLe32(QByteArray& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.append(char((value >> shift) & 0xFF));
    }
}

std::optional<ProgramInfo> ProgramInfo::fromBytes(const QByteArray& bytes) {
    if (bytes.size() != kSize) {
        return std::nullopt;
    }
    const std::uint8_t* data = bytesOf(bytes);
    return ProgramInfo{readLe16(data), readLe16(data + 2), readLe32(data + 4)};
}

QByteArray ProgramInfo::toBytes() const {
    QByteArray out;
    appendLe16(out, bootVersion);
    appendLe16(out, mainVersion);
    appendLe32(out, platformDescriptionAddress);
    return out;
}

PlatformDescription PlatformDescription::fromBytes(const QByteArray& bytes) {
    PlatformDescription description;
    const int count = std::min<int>(kSize, bytes.size());
    std::copy_n(bytesOf(bytes), count, description.raw.begin());
    return description;
}

QByteArray PlatformDescription::toBytes() const {
    return QByteArray(reinterpret_cast<const char*>(raw.data()), kSize);
}

std::optional<BoardInfo> BoardInfo::fromBytes(const QByteArray& bytes) {
    if (bytes.size() != kSize) {
        return std::nullopt;
    }
    const std::uint8_t* data = bytesOf(bytes);
    return BoardInfo{readLe16(data), data[2], data[3]};
}

QByteArray BoardInfo::toBytes() const {
    QByteArray out;
    appendLe16(out, boardCode);
    out.append(char(variant));
    out.append(char(reserved));
    return out;
}

QByteArray ParameterRecord::toBytes() const {
    QByteArray out;
    appendLe16(out, id);
    appendLe32(out, value);
    out.append(reinterpret_cast<const char*>(further.data()), int(further.size()));
    return out;
}

bool ParameterRecord::assignFrom(const QByteArray& bytes) {
    if (bytes.size() != kShortSize && bytes.size() != kSize) {
        return false;
    }
    const std::uint8_t* data = bytesOf(bytes);
    id = readLe16(data);
    value = readLe32(data + 2);
    if (bytes.size() == kSize) {
        std::copy_n(data + kShortSize, further.size(), further.begin());
    }
    return true;
}

}  // namespace verimant
