#include "platform/cp1251.h"

#include <gtest/gtest.h>

#include <QSet>

namespace verimant {
namespace {

TEST(Cp1251, EveryByteDecodesToItsWindowsCyrillicCharacterAndBack) {
    QByteArray bytes;
    for (int b = 0; b < 256; ++b) {
        bytes += static_cast<char>(b);
    }
    const QString text = decodeCp1251(bytes);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(encodeCp1251(text), bytes);
    EXPECT_EQ(QSet<QChar>(text.begin(), text.end()).size(), 256)
        << "two bytes decode to the same character";

    for (int b = 0; b < 0x80; ++b) {
        EXPECT_EQ(text[b].unicode(), b);
    }
    // 0x98 has no character in the code page; it stands for itself so that it survives.
    EXPECT_EQ(
        text.mid(0x80, 0x40),
        QStringLiteral("ЂЃ‚ѓ„…†‡€‰Љ‹ЊЌЋЏђ‘’“”•–—\u0098™љ›њќћџ\u00A0ЎўЈ¤Ґ¦§Ё©Є«¬\u00AD®Ї°±Ііґµ¶·ё№є»"
                       "јЅѕї"));
    EXPECT_EQ(text.mid(0xC0), QStringLiteral("АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ"
                                             "абвгдежзийклмнопрстуфхцчшщъыьэюя"));
}

TEST(Cp1251, CharactersWithoutAByteBecomeOneQuestionMarkEach) {
    // Hryvnia sign, Greek omega, a CJK ideograph, and a character outside the basic plane.
    const QString text = QStringLiteral("a\u20B4b\u03A9c\u4E2Dd") +
                         QString::fromUtf8("\xF0\x9F\x98\x80") + QStringLiteral("e");
    EXPECT_EQ(encodeCp1251(text), QByteArray("a?b?c?d?e"));
    // A lone surrogate half is one unmappable character too.
    EXPECT_EQ(encodeCp1251(QString(QChar(0xD800)) + QStringLiteral("x")), QByteArray("?x"));
    EXPECT_TRUE(encodeCp1251(QString()).isEmpty());
    EXPECT_TRUE(decodeCp1251(QByteArray()).isEmpty());
}

}  // namespace
}  // namespace verimant
