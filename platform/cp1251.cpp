#include "platform/cp1251.h"

#include <array>

namespace verimant {

namespace {

// 0x80..0xBF: the irregular half of the upper page. 0xC0..0xFF are А..я in Unicode order.
constexpr std::array<char16_t, 64> kUpperIrregular = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 0x98 (0x98 unassigned)
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // 0xB8
};

constexpr char16_t kCyrillicCapitalA = 0x0410;
constexpr char16_t kCyrillicSmallYa = 0x044F;

char16_t decodeByte(unsigned char byte) {
    if (byte < 0x80) {
        return byte;
    }
    if (byte >= 0xC0) {
        return static_cast<char16_t>(kCyrillicCapitalA + (byte - 0xC0));
    }
    return kUpperIrregular[byte - 0x80];
}

// -1 when the character has no byte.
int encodeChar(char16_t c) {
    if (c < 0x80) {
        return c;
    }
    if (c >= kCyrillicCapitalA && c <= kCyrillicSmallYa) {
        return 0xC0 + (c - kCyrillicCapitalA);
    }
    for (std::size_t i = 0; i < kUpperIrregular.size(); ++i) {
        if (kUpperIrregular[i] == c) {
            return static_cast<int>(0x80 + i);
        }
    }
    return -1;
}

}  // namespace

QString decodeCp1251(const QByteArray& bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        out[i] = QChar(decodeByte(static_cast<unsigned char>(bytes[i])));
    }
    return text;
}

QByteArray encodeCp1251(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        // A character outside the basic plane is one '?', not two.
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
            bytes += '?';
            continue;
        }
        const int byte = encodeChar(c.unicode());
        bytes += byte < 0 ? '?' : static_cast<char>(byte);
    }
    return bytes;
}

}  // namespace verimant
