#include <gtest/gtest.h>

#include "device/firmware_record_file.h"
#include "device/flash_image.h"
#include "device/hex_record_parser.h"
#include "platform/cp1251.h"
#include "tests/device/firmware_record_lines.h"
#include "tests/support/scripted_dialogs.h"

#include <array>

namespace verimant {
namespace {

using test::addressLine;
using test::countingBytes;
using test::dataLine;
using test::recordErrorBox;

TEST(HexRecordParser, LineOfThirtyTwoDataBytesIsTheLongestAccepted) {
    const QByteArray line = dataLine(0x1234, countingBytes(32, 0x40));
    ASSERT_EQ(line.size(), 75);
    HexRecordParser parser;

    ASSERT_EQ(parser.parseLine(QString::fromLatin1(line)), 1);
    EXPECT_EQ(parser.recordByteCount(), 37);
    EXPECT_EQ(parser.interpretAsData(), 1);
    EXPECT_EQ(parser.dataAddress(), 0x1234u);
    EXPECT_EQ(parser.dataLength(), 32);
    std::array<std::uint8_t, 32> data{};
    EXPECT_TRUE(parser.copyData(data));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(data.data()), 32), countingBytes(32, 0x40));
    // A destination too short for the record takes nothing.
    std::array<std::uint8_t, 31> shorter{};
    EXPECT_FALSE(parser.copyData(shorter));
}

TEST(HexRecordParser, InterpretationsAnswerOnlyForTheirOwnType) {
    HexRecordParser parser;
    ASSERT_EQ(parser.parseLine(QString::fromLatin1(addressLine(0x0801))), 1);
    EXPECT_EQ(parser.interpretAsData(), -1);
    EXPECT_EQ(parser.interpretAsStart(), -1);
    EXPECT_EQ(parser.interpretAsEnd(), -1);
    EXPECT_EQ(parser.interpretAsAddress(), 1);
    EXPECT_EQ(parser.baseAddress(), 0x08010000u);

    ASSERT_EQ(parser.parseLine(QString::fromLatin1(dataLine(0xFFFF, "z"))), 1);
    EXPECT_EQ(parser.interpretAsData(), 1);
    EXPECT_EQ(parser.dataAddress(), 0x0801FFFFu);

    ASSERT_EQ(parser.parseLine(QString::fromLatin1(test::startLine(0x08004321))), 1);
    EXPECT_EQ(parser.interpretAsStart(), 1);
    EXPECT_EQ(parser.startAddress(), 0x08004321u);
    EXPECT_FALSE(parser.copyData(std::span<std::uint8_t>{}));

    ASSERT_EQ(parser.parseLine(QString::fromLatin1(test::kEndLine)), 1);
    EXPECT_EQ(parser.interpretAsEnd(), 1);
    EXPECT_EQ(parser.lineNumber(), 4);
}

TEST(HexRecordParser, LatchedErrorMakesEveryLaterCallANoOp) {
    HexRecordParser parser;
    EXPECT_EQ(parser.interpretAsData(), 0);  // nothing parsed yet
    EXPECT_FALSE(parser.failed());

    ASSERT_EQ(parser.parseLine(QString::fromLatin1(addressLine(0x0800))), 1);
    ASSERT_EQ(parser.interpretAsAddress(), 1);
    EXPECT_EQ(parser.parseLine(":00000001FE"), 0);
    EXPECT_TRUE(parser.failed());
    EXPECT_EQ(parser.errorText(), QStringLiteral("Ошибка CRC"));

    EXPECT_EQ(parser.parseLine(QString::fromLatin1(dataLine(0, "x"))), 0);
    EXPECT_EQ(parser.interpretAsData(), 0);
    EXPECT_EQ(parser.interpretAsAddress(), 0);
    EXPECT_EQ(parser.interpretAsStart(), 0);
    EXPECT_EQ(parser.interpretAsEnd(), 0);
    EXPECT_EQ(parser.lineNumber(), 2);
    EXPECT_EQ(parser.lastLine(), ":00000001FE");
    EXPECT_EQ(parser.errorMessage(),
              recordErrorBox(2, ":00000001FE", QStringLiteral("Ошибка CRC")));

    parser.reset();
    EXPECT_FALSE(parser.failed());
    EXPECT_EQ(parser.lineNumber(), 0);
    EXPECT_EQ(parser.baseAddress(), 0u);
    EXPECT_EQ(parser.parseLine(QString::fromLatin1(dataLine(0, "x"))), 1);
}

// Record files typed or edited on a Russian keyboard carry Cyrillic letters that look like the
// Latin digits; they read as those digits. The file is CP1251 bytes, as it arrives.
TEST(RecordFileDigits, CyrillicLookAlikesAndLowerCaseReadAsHexDigits) {
    const QByteArray data = QByteArray::fromHex("ABCEACEABCDE");
    const QString latin = QString::fromLatin1(dataLine(0x0100, data));
    QString upper = latin;
    upper
        .replace(QLatin1Char('A'), QChar(0x0410))   // А
        .replace(QLatin1Char('B'), QChar(0x0412))   // В
        .replace(QLatin1Char('C'), QChar(0x0421))   // С
        .replace(QLatin1Char('E'), QChar(0x0415));  // Е
    const QString lower = latin.toLower();
    QString lowerCyrillic = lower;
    lowerCyrillic
        .replace(QLatin1Char('a'), QChar(0x0430))   // а
        .replace(QLatin1Char('c'), QChar(0x0441))   // с
        .replace(QLatin1Char('e'), QChar(0x0435));  // е

    for (const QString& line : {upper, lower, lowerCyrillic}) {
        SCOPED_TRACE(line.toStdString());
        QByteArray image = makeFlashImage(3, 0x1000);
        test::ScriptedDialogs dialogs;
        const QByteArray file = addressLine(0x0800) + "\n" + encodeCp1251(line) + "\n";

        EXPECT_TRUE(buildFlashImage(file, image));
        EXPECT_TRUE(dialogs.boxes.isEmpty());
        EXPECT_EQ(image.mid(0x100, data.size()), data);
    }
}

TEST(RecordFileDigits, CyrillicLowerCaseVeIsNotADigit) {
    QString line = QString::fromLatin1(dataLine(0x0100, QByteArray::fromHex("B0")));
    ASSERT_EQ(line.mid(9, 2), "B0");
    line[9] = QChar(0x0432);  // в
    QByteArray image = makeFlashImage(3, 0x1000);
    test::ScriptedDialogs dialogs;

    EXPECT_FALSE(buildFlashImage(encodeCp1251(line), image));

    EXPECT_EQ(dialogs.textsOf("error"),
              QStringList{recordErrorBox(1, line, QStringLiteral("D[9]=0xв0 не является HEX"))});
}

}  // namespace
}  // namespace verimant
