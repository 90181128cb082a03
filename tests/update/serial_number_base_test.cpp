#include "update/serial_number_base.h"

#include "platform/cp1251.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <QFile>

namespace verimant {
namespace {

constexpr qsizetype kBlock = SerialNumberBase::kBlockSize;

// A base of `blocks` blocks filled with 'x', with `text` placed at the start of the given blocks.
QByteArray baseImage(int blocks, const std::vector<std::pair<int, QByteArray>>& records) {
    QByteArray image(blocks * kBlock, 'x');
    for (const auto& [block, text] : records) {
        image.replace(block * kBlock, text.size(), text);
    }
    return image;
}

QByteArray recordText(const char* serial,
                      const char* tail = ";0;245;3;1;2;0;RU;0;0;0;0;0;0;0;0\n") {
    return QByteArray(serial) + tail;
}

TEST(SerialNumberBase, RecordCountFollowsTheFileSize) {
    const std::vector<std::pair<qsizetype, int>> cases = {
        {0, 0}, {255, 0}, {511, 0}, {512, 0}, {767, 0}, {768, 1}, {1000, 1}, {1024, 2},
    };
    for (const auto& [size, count] : cases) {
        SerialNumberBase base;
        base.loadBytes(QByteArray(size, '\n'));
        EXPECT_EQ(base.recordCount(), count) << size;
        EXPECT_EQ(base.size(), size);
    }
}

TEST(SerialNumberBase, LoadsFromFileAndAnUnreadableFileGivesNoRecords) {
    const QString path = test::testRootDir() + "/base.bin";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(baseImage(4, {{3, recordText("12345678")}}));
    file.close();

    SerialNumberBase base;
    base.loadBase(path);
    EXPECT_EQ(base.recordCount(), 2);
    EXPECT_EQ(base.findSerial("12345678"), 3);

    base.loadBase(test::testRootDir() + "/missing.bin");
    EXPECT_EQ(base.recordCount(), 0);
    EXPECT_EQ(base.findSerial("12345678"), 0);

    // 64 MiB is beyond what the tool reads: a sparse file of that size costs no disk.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(recordText("12345678"));
    ASSERT_TRUE(file.resize(0x4000000));
    file.close();
    base.loadBase(path);
    EXPECT_EQ(base.recordCount(), 0);
    EXPECT_EQ(base.size(), 0);
}

struct FindCase {
    const char* name;
    QByteArray image;
    const char* serialDigits;
    int expected;
};

TEST(SerialNumberBase, FindsTheFirstRecordWhoseKeyMatchesByteForByte) {
    const std::vector<FindCase> cases = {
        {"a record in block 2", baseImage(3, {{2, recordText("12345678")}}), "12345678", 2},
        {"a record in a later block", baseImage(6, {{5, recordText("12345678")}}), "12345678", 5},
        {"header blocks are never searched",
         baseImage(3, {{0, recordText("12345678")}, {1, recordText("12345678")}}), "12345678", 0},
        {"a blank after the key is no match", baseImage(3, {{2, "12345678 ;0"}}), "12345678", 0},
        {"a comma after the key is no match", baseImage(3, {{2, "12345678,0"}}), "12345678", 0},
        {"the first of two equal keys wins",
         baseImage(5, {{3, recordText("12345678")}, {4, recordText("12345678")}}), "12345678", 3},
        {"lower-case keys are never found", baseImage(3, {{2, recordText("00abcdef")}}), "00ABCDEF",
         0},
        {"lower-case serial digits find upper-case keys",
         baseImage(3, {{2, recordText("00ABCDEF")}}), "00abcdef", 2},
        {"short digits gain leading zeros", baseImage(3, {{2, recordText("00000123")}}), "123", 2},
        {"all F is written as stars", baseImage(3, {{2, recordText("********")}}), "FFFFFFFF", 2},
        {"all F is not its digits", baseImage(3, {{2, recordText("FFFFFFFF")}}), "FFFFFFFF", 0},
        {"digits that are no number look for zeros", baseImage(3, {{2, recordText("00000000")}}),
         "1-23-456", 2},
        {"a key in a trailing partial block is ignored", baseImage(3, {}) + recordText("12345678"),
         "12345678", 0},
        {"a key split over two blocks is no match",
         baseImage(3, {{2, QByteArray(252, 'x') + "12345678;"}}), "12345678", 0},
    };
    for (const FindCase& c : cases) {
        SerialNumberBase base;
        base.loadBytes(c.image);
        EXPECT_EQ(base.findSerial(c.serialDigits), c.expected) << c.name;
    }
}

TEST(SerialNumberBase, OnlyBlocksUpTo120001AreSearched) {
    SerialNumberBase base;
    base.loadBytes(
        baseImage(120003, {{120001, recordText("11111111")}, {120002, recordText("22222222")}}));
    EXPECT_EQ(base.recordCount(), 120001);
    EXPECT_EQ(base.findSerial("11111111"), 120001);
    EXPECT_EQ(base.findSerial("22222222"), 0);
    InstrumentRecord record;
    EXPECT_TRUE(base.readRecord(120002, record));  // present, just never found
}

struct RecordCase {
    const char* name;
    QByteArray text;
    bool ok;
    InstrumentRecord expected;
};

InstrumentRecord record(std::uint32_t id, std::int32_t board, std::uint8_t version,
                        const QString& set, std::array<std::int32_t, 8> extra = {}) {
    InstrumentRecord r;
    r.id = id;
    r.boardNumber = board;
    r.boardVersion = version;
    r.languageSet = set;
    r.extra = extra;
    return r;
}

InstrumentRecord assembled(InstrumentRecord r, std::uint8_t code1, std::uint8_t code2) {
    r.assembling1 = code1;
    r.assembling2 = code2;
    return r;
}

void expectSameRecord(const InstrumentRecord& a, const InstrumentRecord& b, const char* name) {
    EXPECT_EQ(a.id, b.id) << name;
    EXPECT_EQ(a.boardNumber, b.boardNumber) << name;
    EXPECT_EQ(a.boardVersion, b.boardVersion) << name;
    EXPECT_EQ(a.assembling1, b.assembling1) << name;
    EXPECT_EQ(a.assembling2, b.assembling2) << name;
    EXPECT_EQ(a.number, b.number) << name;
    EXPECT_EQ(a.languageSet, b.languageSet) << name;
    EXPECT_EQ(a.extra, b.extra) << name;
}

TEST(InstrumentRecordText, FieldsAreReadAfterEmptyOnesAreDropped) {
    InstrumentRecord full = record(0x12345678, 245, 3, "RU", {1, 2, 3, 4, 5, 6, 7, -8});
    full.assembling1 = 1;
    full.assembling2 = 2;
    full.number = 99;
    const std::vector<RecordCase> cases = {
        {"every field", "12345678;note;245;3;1;2;99;RU;1;2;3;4;5;6;7;-8\r\n", true, full},
        {"the plain example", recordText("12345678"), true,
         assembled(record(0x12345678, 245, 3, "RU"), 1, 2)},
        {"an empty board version leaves 15 fields",
         "12345678;0;245;;1;2;0;RU;0;0;0;0;0;0;0;0\n",
         false,
         {}},
        {"empty fields between are dropped", "12345678;;0;245;3;;1;2;0;RU;0;0;0;0;0;0;0;0", true,
         assembled(record(0x12345678, 245, 3, "RU"), 1, 2)},
        {"a board version of 259 keeps its low byte",
         recordText("12345678", ";0;245;259;0;0;0;RU;0;0;0;0;0;0;0;0"), true,
         record(0x12345678, 245, 3, "RU")},
        {"a negative board version keeps its low byte",
         recordText("12345678", ";0;245;-1;0;0;0;RU;0;0;0;0;0;0;0;0"), true,
         record(0x12345678, 245, 255, "RU")},
        {"numbers that do not parse are 0",
         recordText("12345678", ";0;24x;3;0;0;0;RU;0;0;0;0;0;0;0;99999999999"), true,
         record(0x12345678, 0, 3, "RU")},
        {"Cyrillic look-alike digits in the key",
         encodeCp1251("АВСЕ0000;0;1;1;0;0;0;Восток;0;0;0;0;0;0;0;0"), true,
         record(0xABCE0000, 1, 1, "Восток")},
        {"a key that is no number is 0", recordText("1234567Z"), true,
         assembled(record(0, 245, 3, "RU"), 1, 2)},
        {"a line feed ends the record", "12345678;0;245;3\n;1;2;0;RU;0;0;0;0;0;0;0;0", false, {}},
        {"a NUL ends the record",
         QByteArray("12345678;0;245;3;1;2;0;RU;0;0;0;0;0;0;0", 39) + '\0' + ";5;6",
         false,
         {}},
        {"fields after the sixteenth are ignored",
         recordText("12345678", ";0;245;3;0;0;0;RU;0;0;0;0;0;0;0;0;junk;more"), true,
         record(0x12345678, 245, 3, "RU")},
        {"nothing", "", false, {}},
    };
    for (const RecordCase& c : cases) {
        InstrumentRecord read = record(1, 2, 3, "stale");
        EXPECT_EQ(parseInstrumentRecord(c.text, read), c.ok) << c.name;
        expectSameRecord(read, c.expected, c.name);
    }
}

TEST(InstrumentRecordText, AFullBlockWithoutLineEndEndsAtTheBlock) {
    // The record's text may not run into the next block's record.
    QByteArray body = "12345678;0;245;3;1;2;0;RU;0;0;0;0;0;0;0;";
    body += QByteArray(kBlock - body.size(), '7');
    SerialNumberBase base;
    base.loadBytes(baseImage(4, {{2, body}, {3, ";8;9\n"}}));
    InstrumentRecord read;
    ASSERT_TRUE(base.readRecord(2, read));
    EXPECT_EQ(read.extra[7], 0);  // 7777... does not fit 32 bits
    EXPECT_FALSE(base.readRecord(0, read));
    EXPECT_FALSE(base.readRecord(1, read));
    EXPECT_FALSE(base.readRecord(4, read));
}

}  // namespace
}  // namespace verimant
