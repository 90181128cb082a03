#include <gtest/gtest.h>

#include "device/firmware_record_file.h"
#include "device/flash_image.h"
#include "platform/cp1251.h"
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

// Every check reports its own text in the one box, names the failing line as the second line of
// the file, and ends the file: the data after it never reaches the image.
TEST(RecordFileErrors, EachCheckShowsOneBoxNamingTheLineAndStopsReading) {
    struct BadLine {
        QByteArray line;
        QString text;
    };
    const BadLine cases[] = {
        {":00000001F", "Длина записи < 11 L=10"},
        {":", "Длина записи < 11 L=1"},
        {dataLine(0, countingBytes(33)), "Длина записи > 65 L=77"},
        {":00000001FF ", "Нецелое число цифр"},
        {";00000001FF", "Нет маркера :"},
        {":0000 001FF", "D[5]=0x 0 не является HEX"},
        {":00000001FG", "D[9]=0xFG не является HEX"},
        {encodeCp1251(":01010000в04E"), "D[9]=0xв0 не является HEX"},
        {":00000001FE", "Ошибка CRC"},
        {recordLineFromBytes(QByteArray::fromHex("02000000AA")),
         "Несоответствие длины записи и длины данных LENGTH=2Lфакт=1"},
        {recordLine(0x04, 0, countingBytes(4)), "{ADDRESS}-длина записи должна быть 7"},
        {recordLine(0x04, 2, QByteArray::fromHex("0800")), "{ADDRESS}-OFFSET должен быть 0"},
        {recordLine(0x05, 0, countingBytes(2)), "{START}-длина данных должна быть 4"},
        {recordLine(0x05, 0x0100, countingBytes(4)), "{START}-OFFSET должен быть 0"},
        {recordLine(0x01, 0, countingBytes(1)), "{END}-неправильная длина записи"},
        {recordLine(0x01, 0x0001, {}), "{END}-LENGTH и OFFSET должны быть 0"},
    };
    for (const BadLine& bad : cases) {
        SCOPED_TRACE(bad.line.toStdString());
        const QByteArray file = addressLine(0x0800) + "\r\n" + bad.line + "\r\n" +
                                dataLine(0x0010, "late") + "\r\n" + kEndLine + "\r\n";
        QByteArray image = makeFlashImage(3, kImageSize);
        test::ScriptedDialogs dialogs;

        EXPECT_FALSE(buildFlashImage(file, image));

        EXPECT_EQ(dialogs.textsOf("error"),
                  QStringList{recordErrorBox(2, decodeCp1251(bad.line), bad.text)});
        EXPECT_EQ(dialogs.boxes.size(), 1);
        EXPECT_EQ(image, makeFlashImage(3, kImageSize));
    }
}

QByteArray fileOf(std::initializer_list<QByteArray> lines, const char* lineEnd = "\n") {
    QByteArray file;
    for (const QByteArray& line : lines) {
        file += line + lineEnd;
    }
    return file;
}

std::span<std::uint8_t> bytesOf(QByteArray& image) {
    return {reinterpret_cast<std::uint8_t*>(image.data()), size_t(image.size())};
}

TEST(RecordFileLines, EmptyLinesAndLineEndsDoNotCountAsLines) {
    const QByteArray bad = ":00000001FE";
    const QByteArray file = "\r\n\n" + addressLine(0x0800) + "\r\n\r\n\n" + dataLine(0, "ab") +
                            "\r\r\x1a\t" + bad + "\r\n";
    QByteArray image = makeFlashImage(3, kImageSize);

    const RecordFileResult result = buildImageFromRecords(file, bytesOf(image));

    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.linesRead, 3);
    EXPECT_EQ(result.errorBoxes, QStringList{recordErrorBox(3, bad, QStringLiteral("Ошибка CRC"))});
    EXPECT_EQ(image.left(2), "ab");
}

TEST(RecordFileLines, FileEndsAtItsEndRecordAndNothingAfterItIsRead) {
    QByteArray image = makeFlashImage(3, kImageSize);
    const RecordFileResult result =
        buildImageFromRecords(fileOf({addressLine(0x0800), dataLine(0, "kept"), kEndLine,
                                      dataLine(0x10, "no"), "junk", ":00000001FE"},
                                     "\r\n"),
                              bytesOf(image));
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.endRecordSeen);
    EXPECT_EQ(result.linesRead, 3);
    EXPECT_TRUE(result.errorBoxes.isEmpty());
    QByteArray expected = makeFlashImage(3, kImageSize);
    expected.replace(0, 4, "kept");
    EXPECT_TRUE(image == expected);
}

// Files that read without a record error but cannot be the whole firmware: a download cut at a
// line end, an empty file, data whose segment address the boot loader cannot honour. One closing
// box names the last line read.
TEST(RecordFileLines, FilesThatCannotBeWholeAreRefused) {
    struct Case {
        const char* what;
        QByteArray file;
        int boxLine;
        QByteArray line;
        QString text;
    };
    const QByteArray base = addressLine(0x0800);
    const QByteArray segment = recordLine(0x02, 0, QByteArray::fromHex("1000"));
    const QString noEnd = QStringLiteral("{END}-нет записи конца файла");
    const Case cases[] = {
        {"no end record", fileOf({base, dataLine(0, "first"), dataLine(0x800, "last")}), 3,
         dataLine(0x800, "last"), noEnd},
        {"last line without line end", base + "\n" + dataLine(4, "xyz"), 2, dataLine(4, "xyz"),
         noEnd},
        {"line ends only", "\r\n\r\n", 0, "", QStringLiteral("Файл пуст")},
        {"empty file", "", 0, "", QStringLiteral("Файл пуст")},
        {"data after a segment record", fileOf({base, segment, dataLine(0x20, "x"), kEndLine}), 3,
         dataLine(0x20, "x"), QStringLiteral("{DATA}-адрес задан записью 02")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray image = makeFlashImage(3, kImageSize);
        const RecordFileResult result = buildImageFromRecords(c.file, bytesOf(image));
        EXPECT_FALSE(result.ok);
        ASSERT_FALSE(result.errorBoxes.isEmpty());
        EXPECT_EQ(result.errorBoxes.last(), recordErrorBox(c.boxLine, c.line, c.text));
    }
}

// With the region to be written: data at or past the checksum word would be cut off silently, and
// a file with nothing inside the region would seal an empty firmware. Data below the region is
// ignored.
TEST(RecordFileLines, DataMustLieInsideTheRegionBeforeItsChecksumWord) {
    const FirmwareRegion region{0x100, 0x200};
    struct Case {
        const char* what;
        QByteArray data;
        bool ok;
        QString text;
    };
    const Case cases[] = {
        {"inside", dataLine(0x1FC, "1234"), true, {}},
        {"straddling the start", dataLine(0xFE, "1234"), true, {}},
        {"onto the checksum word", dataLine(0x1FD, "1234"), false,
         QStringLiteral("Данные заходят на слово контрольной суммы")},
        {"beyond the checksum word", dataLine(0x300, "1"), false,
         QStringLiteral("Данные заходят на слово контрольной суммы")},
        {"only below the region", dataLine(0x10, "1234"), false,
         QStringLiteral("Нет данных для области ПО")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray image = makeFlashImage(3, kImageSize);
        const RecordFileResult result = buildImageFromRecords(
            fileOf({addressLine(0x0800), c.data, kEndLine}), bytesOf(image), region);
        EXPECT_EQ(result.ok, c.ok);
        if (!c.ok) {
            ASSERT_EQ(result.errorBoxes.size(), 1);
            EXPECT_TRUE(result.errorBoxes[0].endsWith(c.text))
                << result.errorBoxes[0].toStdString();
        }
    }
}

// Segment records belong to 16-bit address spaces the boot loader never uses: each one is
// reported with its own box, and the records around it still build the image once a linear
// address record has set the address again; an error that ends the file comes after them.
TEST(RecordFileLines, UnknownTypesAreReportedOneByOneAndReadingGoesOn) {
    const QByteArray segment = recordLine(0x02, 0, QByteArray::fromHex("1000"));
    const QByteArray startSegment = recordLine(0x03, 0, countingBytes(4));
    const QByteArray newer = recordLine(0x06, 0, {});
    const QString unknown = QStringLiteral("Неизвестная команда");
    QByteArray image = makeFlashImage(3, kImageSize);
    test::ScriptedDialogs dialogs;

    EXPECT_TRUE(buildFlashImage(fileOf({segment, addressLine(0x0800), dataLine(0x20, "one"),
                                        startSegment, newer, dataLine(0x30, "two"), kEndLine}),
                                image));
    EXPECT_EQ(dialogs.textsOf("error"), (QStringList{recordErrorBox(1, segment, unknown),
                                                     recordErrorBox(4, startSegment, unknown),
                                                     recordErrorBox(5, newer, unknown)}));
    EXPECT_EQ(image.mid(0x20, 3), "one");
    EXPECT_EQ(image.mid(0x30, 3), "two");

    const RecordFileResult result =
        buildImageFromRecords(fileOf({newer, dataLine(0, "x")}), bytesOf(image));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(
        result.errorBoxes,
        (QStringList{recordErrorBox(1, newer, unknown),
                     recordErrorBox(2, dataLine(0, "x"),
                                    QStringLiteral("Выход адреса-длины за пределы носителя"))}));
}

}  // namespace
}  // namespace verimant
