#include "platform/cp1251.h"

#include <gtest/gtest.h>

#include <QSet>

namespace verimant {
namespace {

QByteArray everyByte() {
    QByteArray bytes;
    for (int b = 0; b < 256; ++b) {
        bytes += static_cast<char>(b);
    }
    return bytes;
}

TEST(Cp1251, EveryByteRoundTripsThroughDistinctCharacters) {
    const QByteArray bytes = everyByte();
    const QString text = decodeCp1251(bytes);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(encodeCp1251(text), bytes);

    QSet<char16_t> seen;
    for (const QChar c : text) {
        seen.insert(c.unicode());
    }
    EXPECT_EQ(seen.size(), 256) << "two bytes decode to the same character";
    EXPECT_EQ(text[0x98].unicode(), 0x0098);
}

TEST(Cp1251, AsciiAndCyrillicAlphabet) {
    for (int b = 0; b < 0x80; ++b) {
        EXPECT_EQ(decodeCp1251(QByteArray(1, static_cast<char>(b)))[0].unicode(), b);
    }
    const QString upper = QStringLiteral("АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ");
    const QString lower = QStringLiteral("абвгдежзийклмнопрстуфхцчшщъыьэюя");
    QByteArray expectedUpper, expectedLower;
    for (int i = 0; i < 32; ++i) {
        expectedUpper += static_cast<char>(0xC0 + i);
        expectedLower += static_cast<char>(0xE0 + i);
    }
    EXPECT_EQ(encodeCp1251(upper), expectedUpper);
    EXPECT_EQ(encodeCp1251(lower), expectedLower);
    EXPECT_EQ(decodeCp1251(expectedUpper), upper);
    EXPECT_EQ(decodeCp1251(expectedLower), lower);
}

TEST(Cp1251, PunctuationAndLettersOfTheUpperPage) {
    const struct {
        unsigned char byte;
        char16_t unicode;
    } named[] = {
        {0xA8, u'Ё'}, {0xB8, u'ё'}, {0xB9, u'№'}, {0xAB, u'«'}, {0xBB, u'»'},   {0x84, u'„'},
        {0x93, u'“'}, {0x94, u'”'}, {0x91, u'‘'}, {0x92, u'’'}, {0x82, u'‚'},   {0x85, u'…'},
        {0x96, u'–'}, {0x97, u'—'}, {0x88, u'€'}, {0x99, u'™'}, {0xA0, 0x00A0}, {0xB0, u'°'},
        {0xB1, u'±'}, {0xA7, u'§'}, {0xA5, u'Ґ'}, {0xB4, u'ґ'}, {0xAA, u'Є'},   {0xBA, u'є'},
        {0xB2, u'І'}, {0xB3, u'і'}, {0xAF, u'Ї'}, {0xBF, u'ї'}, {0xA1, u'Ў'},   {0xA2, u'ў'},
        {0x80, u'Ђ'}, {0x90, u'ђ'}, {0x8A, u'Љ'}, {0x9A, u'љ'}, {0x8F, u'Џ'},   {0x9F, u'џ'},
        {0xBD, u'Ѕ'}, {0xBE, u'ѕ'}, {0xA3, u'Ј'}, {0xBC, u'ј'},
    };
    for (const auto& entry : named) {
        const QByteArray byte(1, static_cast<char>(entry.byte));
        EXPECT_EQ(decodeCp1251(byte), QString(QChar(entry.unicode))) << int(entry.byte);
        EXPECT_EQ(encodeCp1251(QString(QChar(entry.unicode))), byte) << int(entry.byte);
    }
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
