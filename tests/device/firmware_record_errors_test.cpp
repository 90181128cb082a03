#include <gtest/gtest.h>

#include <QRegularExpression>

#include "device/firmware_record_file.h"
#include "device/flash_image.h"
#include "tests/device/firmware_record_lines.h"
#include "tests/support/scripted_dialogs.h"

namespace verimant {
namespace {

using test::addressLine;
using test::countingBytes;
using test::dataLine;
using test::kEndLine;
using test::recordErrorBox;
using test::recordLine;
using test::recordLineFromBytes;

constexpr int kImageSize = 0x1000;

struct BadLine {
    const char* name;
    QByteArray line;
    QString text;
};

void PrintTo(const BadLine& bad, std::ostream* out) {
    *out << bad.name;
}

class RecordErrorTest : public ::testing::TestWithParam<BadLine> {};

// Every check reports its own text in the one box, names the failing line as the second line of
// the file, and ends the file: the data after it never reaches the image.
TEST_P(RecordErrorTest, ShowsOneBoxNamingTheLineAndStopsReading) {
    const BadLine& bad = GetParam();
    const QByteArray file = addressLine(0x0800) + "\r\n" + bad.line + "\r\n" +
                            dataLine(0x0010, "late") + "\r\n" + kEndLine + "\r\n";
    QByteArray image = makeFlashImage(3, kImageSize);
    test::ScriptedDialogs dialogs;

    EXPECT_FALSE(buildFlashImage(file, image));

    ASSERT_EQ(dialogs.boxes.size(), 1);
    EXPECT_EQ(dialogs.boxes[0].kind, "error");
    EXPECT_EQ(dialogs.boxes[0].text, recordErrorBox(2, QString::fromLatin1(bad.line), bad.text));
    EXPECT_EQ(image, makeFlashImage(3, kImageSize));
}

QByteArray thirtyThreeBytes() {
    return dataLine(0, countingBytes(33));
}

INSTANTIATE_TEST_SUITE_P(
    EveryCheck, RecordErrorTest,
    ::testing::Values(
        BadLine{"short", ":00000001F", QStringLiteral("Длина записи < 11 L=10")},
        BadLine{"marker only", ":", QStringLiteral("Длина записи < 11 L=1")},
        BadLine{"thirty-three data bytes", thirtyThreeBytes(),
                QStringLiteral("Длина записи > 65 L=77")},
        BadLine{"trailing blank", ":00000001FF ", QStringLiteral("Нецелое число цифр")},
        BadLine{"no marker", ";00000001FF", QStringLiteral("Нет маркера :")},
        BadLine{"blank inside", ":0000 001FF", QStringLiteral("D[5]=0x 0 не является HEX")},
        BadLine{"letter past F", ":00000001FG", QStringLiteral("D[9]=0xFG не является HEX")},
        BadLine{"checksum", ":00000001FE", QStringLiteral("Ошибка CRC")},
        BadLine{"length field larger than the data",
                recordLineFromBytes(QByteArray::fromHex("02000000AA")),
                QStringLiteral("Несоответствие длины записи и длины данных LENGTH=2Lфакт=1")},
        BadLine{"address with four data bytes", recordLine(0x04, 0, countingBytes(4)),
                QStringLiteral("{ADDRESS}-длина записи должна быть 7")},
        BadLine{"address with OFFSET 0002", recordLine(0x04, 2, QByteArray::fromHex("0800")),
                QStringLiteral("{ADDRESS}-OFFSET должен быть 0")},
        BadLine{"start with two data bytes", recordLine(0x05, 0, countingBytes(2)),
                QStringLiteral("{START}-длина данных должна быть 4")},
        BadLine{"start with an OFFSET", recordLine(0x05, 0x0100, countingBytes(4)),
                QStringLiteral("{START}-OFFSET должен быть 0")},
        BadLine{"end with a data byte", recordLine(0x01, 0, countingBytes(1)),
                QStringLiteral("{END}-неправильная длина записи")},
        BadLine{"end with an OFFSET", recordLine(0x01, 0x0001, {}),
                QStringLiteral("{END}-LENGTH и OFFSET должны быть 0")}),
    [](const auto& info) {
        QString name = QString::fromLatin1(info.param.name);
        name.replace(QRegularExpression("[^A-Za-z0-9]"), "_");
        return name.toStdString();
    });

QByteArray fileOf(std::initializer_list<QByteArray> lines, const char* lineEnd = "\n") {
    QByteArray file;
    for (const QByteArray& line : lines) {
        file += line + lineEnd;
    }
    return file;
}

TEST(RecordFileLines, EmptyLinesAndLineEndsDoNotCountAsLines) {
    const QByteArray bad = ":00000001FE";
    const QByteArray file = "\r\n\n" + addressLine(0x0800) + "\r\n\r\n\n" + dataLine(0, "ab") +
                            "\r\r\x1a\t" + bad + "\r\n";
    QByteArray image = makeFlashImage(3, kImageSize);

    const RecordFileResult result = buildImageFromRecords(
        file, {reinterpret_cast<std::uint8_t*>(image.data()), size_t(image.size())});

    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.linesRead, 3);
    EXPECT_EQ(result.errorBoxes, QStringList{recordErrorBox(3, bad, QStringLiteral("Ошибка CRC"))});
    EXPECT_EQ(image.left(2), "ab");
}

TEST(RecordFileLines, LastLineNeedsNoLineEnd) {
    QByteArray image = makeFlashImage(3, kImageSize);
    test::ScriptedDialogs dialogs;

    EXPECT_TRUE(buildFlashImage(addressLine(0x0800) + "\n" + dataLine(4, "xyz"), image));
    EXPECT_TRUE(dialogs.boxes.isEmpty());
    EXPECT_EQ(image.mid(4, 3), "xyz");
}

// Segment records belong to 16-bit address spaces the boot loader never uses: each one is
// reported with its own box, and the records around it still build the image.
TEST(RecordFileTypes, UnknownTypesAreReportedOneByOneAndReadingGoesOn) {
    const QByteArray segment = recordLine(0x02, 0, QByteArray::fromHex("1000"));
    const QByteArray startSegment = recordLine(0x03, 0, countingBytes(4));
    const QByteArray newer = recordLine(0x06, 0, {});
    const QByteArray file = fileOf({addressLine(0x0800), segment, dataLine(0x20, "one"),
                                    startSegment, newer, dataLine(0x30, "two"), kEndLine});
    QByteArray image = makeFlashImage(3, kImageSize);
    test::ScriptedDialogs dialogs;

    EXPECT_TRUE(buildFlashImage(file, image));

    const QString unknown = QStringLiteral("Неизвестная команда");
    EXPECT_EQ(dialogs.textsOf("error"), (QStringList{recordErrorBox(2, segment, unknown),
                                                     recordErrorBox(4, startSegment, unknown),
                                                     recordErrorBox(5, newer, unknown)}));
    EXPECT_EQ(image.mid(0x20, 3), "one");
    EXPECT_EQ(image.mid(0x30, 3), "two");
}

TEST(RecordFileTypes, UnknownTypeBoxesPrecedeTheErrorThatEndsTheFile) {
    const QByteArray segment = recordLine(0x02, 0, QByteArray::fromHex("1000"));
    const QByteArray file = fileOf({segment, dataLine(0, "x")});
    QByteArray image = makeFlashImage(3, kImageSize);
    test::ScriptedDialogs dialogs;

    EXPECT_FALSE(buildFlashImage(file, image));

    EXPECT_EQ(
        dialogs.textsOf("error"),
        (QStringList{recordErrorBox(1, segment, QStringLiteral("Неизвестная команда")),
                     recordErrorBox(2, dataLine(0, "x"),
                                    QStringLiteral("Выход адреса-длины за пределы носителя"))}));
}

TEST(RecordFileEnd, NothingAfterTheEndRecordIsRead) {
    const QByteArray file = fileOf({addressLine(0x0800), dataLine(0, "kept"), kEndLine,
                                    dataLine(0x10, "ignored"), "garbage", ":00000001FE"},
                                   "\r\n");
    QByteArray image = makeFlashImage(3, kImageSize);

    const RecordFileResult result = buildImageFromRecords(
        file, {reinterpret_cast<std::uint8_t*>(image.data()), size_t(image.size())});

    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.endRecordSeen);
    EXPECT_EQ(result.linesRead, 3);
    EXPECT_TRUE(result.errorBoxes.isEmpty());
    QByteArray expected = makeFlashImage(3, kImageSize);
    expected.replace(0, 4, "kept");
    EXPECT_EQ(image, expected);
}

TEST(RecordFileEnd, FileWithoutEndRecordBuildsFromAllItsDataRecords) {
    const QByteArray file =
        fileOf({addressLine(0x0800), dataLine(0, "first"), dataLine(0x0800, "last")});
    QByteArray image = makeFlashImage(3, kImageSize);

    const RecordFileResult result = buildImageFromRecords(
        file, {reinterpret_cast<std::uint8_t*>(image.data()), size_t(image.size())});

    EXPECT_TRUE(result.ok);
    EXPECT_FALSE(result.endRecordSeen);
    EXPECT_EQ(image.mid(0, 5), "first");
    EXPECT_EQ(image.mid(0x800, 4), "last");
}

TEST(RecordFileEnd, EmptyFileLeavesTheFilledImage) {
    QByteArray image = makeFlashImage(3, kImageSize);
    test::ScriptedDialogs dialogs;

    EXPECT_TRUE(buildFlashImage("\r\n\r\n", image));
    EXPECT_TRUE(dialogs.boxes.isEmpty());
    EXPECT_EQ(image, makeFlashImage(3, kImageSize));
}

// Offset 0 of the image is 0x08000000 and the last five bytes of the image are kept free.
TEST(RecordFilePlacement, DataMustLieInsideTheImageBeforeItsLastFiveBytes) {
    struct Case {
        std::uint16_t upper;
        std::uint16_t offset;
        int length;
        bool fits;
    };
    const Case cases[] = {
        {0x0800, 0x0000, 1, true},
        {0x0800, kImageSize - 6 - 15, 16, true},   // last byte just before the kept tail
        {0x0800, kImageSize - 5 - 15, 16, false},  // last byte is the first of the tail
        {0x0800, kImageSize - 8, 8, false},
        {0x0800, 0xFFF0, 16, false},
        {0x07FF, 0xFFFF, 1, false},  // one below the image
        {0x0000, 0x0000, 4, false},
        {0xFFFF, 0xFFF0, 16, false},  // top of the 32-bit address space
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.upper << ":" << c.offset);
        const QByteArray line = dataLine(c.offset, countingBytes(c.length, 1));
        QByteArray image = makeFlashImage(3, kImageSize);
        test::ScriptedDialogs dialogs;

        EXPECT_EQ(buildFlashImage(fileOf({addressLine(c.upper), line, kEndLine}), image), c.fits);

        if (c.fits) {
            EXPECT_TRUE(dialogs.boxes.isEmpty());
            EXPECT_EQ(image.mid(c.offset, c.length), countingBytes(c.length, 1));
        } else {
            EXPECT_EQ(dialogs.textsOf("error"),
                      QStringList{recordErrorBox(
                          2, line, QStringLiteral("Выход адреса-длины за пределы носителя"))});
            EXPECT_EQ(image, makeFlashImage(3, kImageSize));
        }
    }
}

TEST(RecordFilePlacement, TinyImageTakesNoData) {
    std::uint8_t image[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    const RecordFileResult result =
        buildImageFromRecords(fileOf({addressLine(0x0800), dataLine(0, "a")}), image);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(image[0], 0xFF);
}

}  // namespace
}  // namespace verimant
