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

TEST(HexRecordParser, EachTypeAnswersOnlyForItselfAndTheFirstErrorLatches) {
    HexRecordParser parser;
    EXPECT_EQ(parser.interpretAsData(), 0);  // nothing parsed yet

    ASSERT_EQ(parser.parseLine(QString::fromLatin1(addressLine(0x0801))), 1);
    EXPECT_EQ(parser.interpretAsData(), -1);
    EXPECT_EQ(parser.interpretAsStart(), -1);
    EXPECT_EQ(parser.interpretAsEnd(), -1);
    EXPECT_EQ(parser.interpretAsAddress(), 1);
    EXPECT_EQ(parser.baseAddress(), 0x08010000u);

    // 32 data bytes make the longest line accepted.
    const QByteArray longest = dataLine(0xFFE0, countingBytes(32, 0x40));
    ASSERT_EQ(longest.size(), 75);
    ASSERT_EQ(parser.parseLine(QString::fromLatin1(longest)), 1);
    EXPECT_EQ(parser.interpretAsData(), 1);
    EXPECT_EQ(parser.dataAddress(), 0x0801FFE0u);
    std::array<std::uint8_t, 32> data{};
    EXPECT_FALSE(parser.copyData(std::span(data).first(31))) << "too short a destination";
    EXPECT_TRUE(parser.copyData(data));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(data.data()), 32), countingBytes(32, 0x40));

    ASSERT_EQ(parser.parseLine(QString::fromLatin1(test::startLine(0x08004321))), 1);
    EXPECT_EQ(parser.interpretAsStart(), 1);
    EXPECT_EQ(parser.startAddress(), 0x08004321u);
    EXPECT_FALSE(parser.copyData(data)) << "no data record";

    EXPECT_EQ(parser.parseLine(":00000001FE"), 0);
    EXPECT_TRUE(parser.failed());
    EXPECT_EQ(parser.parseLine(QString::fromLatin1(test::kEndLine)), 0);
    EXPECT_EQ(parser.interpretAsEnd(), 0);
    EXPECT_EQ(parser.interpretAsAddress(), 0);
    EXPECT_EQ(parser.lineNumber(), 4) << "nothing is read after the error";
    EXPECT_EQ(parser.errorMessage(),
              test::recordErrorBox(4, ":00000001FE", QStringLiteral("Ошибка CRC")));
}

// Record files typed or edited on a Russian keyboard carry Cyrillic letters that look like the
// Latin digits; they read as those digits. The file is CP1251 bytes, as it arrives. (The lower-case
// в, which looks like no digit, is among the errors.)
TEST(RecordFileDigits, CyrillicLookAlikesAndLowerCaseReadAsHexDigits) {
    const QByteArray data = QByteArray::fromHex("ABCEACEABCDE");
    const QString latin = QString::fromLatin1(dataLine(0x0100, data));
    const QString upper = QString(latin)
                              .replace(QLatin1Char('A'), QChar(0x0410))   // А
                              .replace(QLatin1Char('B'), QChar(0x0412))   // В
                              .replace(QLatin1Char('C'), QChar(0x0421))   // С
                              .replace(QLatin1Char('E'), QChar(0x0415));  // Е
    const QString lowerCyrillic = latin.toLower()
                                      .replace(QLatin1Char('a'), QChar(0x0430))   // а
                                      .replace(QLatin1Char('c'), QChar(0x0441))   // с
                                      .replace(QLatin1Char('e'), QChar(0x0435));  // е

    for (const QString& line : {upper, latin.toLower(), lowerCyrillic}) {
        SCOPED_TRACE(line.toStdString());
        QByteArray image = makeFlashImage(3, 0x1000);
        test::ScriptedDialogs dialogs;

        EXPECT_TRUE(buildFlashImage(
            addressLine(0x0800) + "\n" + encodeCp1251(line) + "\n" + test::kEndLine, image));
        EXPECT_TRUE(dialogs.boxes.isEmpty());
        EXPECT_EQ(image.mid(0x100, data.size()), data);
    }
}

}  // namespace
}  // namespace verimant
