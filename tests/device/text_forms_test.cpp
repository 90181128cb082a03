#include "base/ui_language.h"
#include "device/device_info.h"
#include "device/device_info_texts.h"
#include "device/device_text_forms.h"
#include "device/ext_flash_version.h"

#include <gtest/gtest.h>

namespace verimant {
namespace {

BoardRecord record(int type, int version, int assembling1, int assembling2,
                   std::array<std::uint8_t, 4> serial) {
    BoardRecord r;
    r.raw.fill(0xEE);  // bytes the tool does not read
    r.raw[1] = std::uint8_t(type);
    r.raw[2] = std::uint8_t(version);
    r.raw[3] = std::uint8_t(assembling1);
    r.raw[4] = std::uint8_t(assembling2);
    std::copy(serial.begin(), serial.end(), r.raw.begin() + 9);
    return r;
}

TEST(TextForms, BoardRecordTexts) {
    struct Case {
        BoardRecord record;
        const char* serial;
        const char* digits;
        const char* model;
        QString board;
        QString assembling;
    };
    const Case cases[] = {
        {record(3, 2, 1, 1, {0x21, 0x43, 0x65, 0x87}), "1-23-45678", "12345678", "Y23", "TRV-278.2",
         "(1:1)"},
        // Leading zero digit of the model: no leading zero in the key.
        {record(12, 0, 0, 7, {0x00, 0x05, 0x00, 0x10}), "0-05-00001", "00500001", "Y5", "TRV-7.0",
         "(0:7)"},
        // Nibbles above 9 show as letters; the model key counts them as values.
        {record(2, 255, 12, 200, {0xBA, 0xFC, 0xDE, 0x09}), "A-BC-FED90", "ABCFED90", "Y122",
         "TRV-290.255", "(12:200)"},
        {record(0, 1, 1, 1, {0, 0, 0, 0}), "0-00-00000", "00000000", "Y0", "UNKNOWN", "(1:1)"},
        {record(13, 1, 2, 2, {0, 0, 0, 0}), "0-00-00000", "00000000", "Y0", "UNKNOWN", "(2:2)"},
        {record(1, 3, 1, 1, {0, 0, 0, 0}), "0-00-00000", "00000000", "Y0", "TRV-245.3", "F4:L=104"},
        {record(1, 3, 1, 2, {0, 0, 0, 0}), "0-00-00000", "00000000", "Y0", "TRV-245.3", "F4:L=373"},
        {record(1, 3, 1, 3, {0, 0, 0, 0}), "0-00-00000", "00000000", "Y0", "TRV-245.3",
         QStringLiteral("F4:L=107_New_ПЭ")},
        {record(1, 3, 1, 4, {0, 0, 0, 0}), "0-00-00000", "00000000", "Y0", "TRV-245.3", "F4:L=ERR"},
        {record(1, 3, 2, 2, {0, 0, 0, 0}), "0-00-00000", "00000000", "Y0", "TRV-245.3", "(2:2)"},
        {record(7, 1, 1, 3, {0, 0, 0, 0}), "0-00-00000", "00000000", "Y0", "TRV-76.1", "(1:3)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.digits);
        EXPECT_EQ(serialText(c.record), c.serial);
        EXPECT_EQ(serialDigits(c.record), c.digits);
        EXPECT_EQ(modelKey(c.record), c.model);
        EXPECT_EQ(boardText(c.record), c.board);
        EXPECT_EQ(assemblingText(c.record), c.assembling);
    }
    EXPECT_EQ(boardNumber(8), 274);
    EXPECT_EQ(boardNumber(11), 299);
}

TEST(TextForms, VersionAndUidTexts) {
    EXPECT_EQ(versionText(0x0105), "1.5");
    EXPECT_EQ(versionText(0), "0.0");
    EXPECT_EQ(versionText(0x0A10), "10.16");
    EXPECT_EQ(versionText(0xFFFF), "255.255");

    const ProcessorUid uid = {0x00, 0x0F, 0xA0, 0xFF, 0x12, 0x34,
                              0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF1};
    EXPECT_EQ(uidText(uid), "00:0F:A0:FF:12:34:56:78:9A:BC:DE:F1");
    EXPECT_EQ(uidText(uid).size(), 35);
}

TEST(TextForms, ExternalFlashVersionTexts) {
    struct Case {
        QByteArray text;
        int result;
        std::uint16_t version;
    };
    const Case cases[] = {
        {"V1.05", kEflVersionRead, 0x0105},
        {"1.5 ", kEflVersionRead, 0x0105},
        {" V 2 . 1 0", kEflVersionRead, 0x020A},
        {"12", kEflVersionRead, 12},
        {"255.255", kEflVersionRead, 0xFFFF},
        {"", kEflVersionRead, 0},
        {QByteArray("3.4\r9.9", 7), kEflVersionRead, 0x0304},  // a control byte ends the text
        {QByteArray("1.7\x00xx", 6), kEflVersionRead, 0x0107},
        {"V1.2a", kEflBadMinorCharacter, 0},
        {"V12", kEflBadMinorCharacter, 0},  // no ".": all of it is the minor number
        {"X1.2", kEflBadMajorCharacter, 0},
        {"1.2.3", kEflBadMajorCharacter, 0},
        {"1.300", kEflNumberTooLarge, 0},
        {"256.0", kEflNumberTooLarge, 0},
        {"1.9000000000000000000000000", kEflNumberTooLarge, 0},
        {"1.0000000000000000000000000", kEflVersionRead, 0x0100},
        {"\xC2"
         "1.2",
         kEflBadMajorCharacter, 0},  // a Cyrillic letter is no control byte
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("text \"" + c.text.toStdString() + "\"");
        std::uint16_t version = 0xAAAA;
        EXPECT_EQ(parseEflVersionText(c.text, version), c.result);
        if (c.result == kEflVersionRead) {
            EXPECT_EQ(version, c.version);
        } else {
            EXPECT_EQ(version, 0xAAAA) << "untouched on failure";
        }
    }
}

TEST(TextForms, DisplayTextsBeforeAndAfterAGoodReadout) {
    DeviceInfo info;
    info.boardRecord = record(3, 2, 1, 1, {0x21, 0x43, 0x65, 0x87});
    info.eflVersion = 0x0105;
    info.programInfo.bootVersion = 0x0410;

    setUiLanguage(UiLanguage::English);
    DeviceInfoTexts texts = deviceInfoTexts(info);
    EXPECT_EQ(texts.groupCaption, "Device Information");
    EXPECT_TRUE(texts.serialNumber.isEmpty());
    EXPECT_TRUE(texts.uid.isEmpty());
    EXPECT_TRUE(texts.softwareExternal.isEmpty());
    setUiLanguage(UiLanguage::Russian);
    EXPECT_EQ(deviceInfoTexts(info).groupCaption, QStringLiteral("Информация об устройстве"));

    info.valid = true;
    texts = deviceInfoTexts(info);
    EXPECT_EQ(texts.groupCaption, "");
    EXPECT_EQ(texts.serialNumber, "1-23-45678");
    EXPECT_EQ(texts.uid, "00:00:00:00:00:00:00:00:00:00:00:00");
    EXPECT_EQ(texts.boardVersion, "TRV-278.2");
    EXPECT_EQ(texts.boardAssembling, "(1:1)");
    EXPECT_EQ(texts.softwareExternal, "1.5");
    EXPECT_EQ(texts.softwareBoot, "4.16");
    EXPECT_EQ(texts.softwareMain, "0.0");
    info.modelName = QStringLiteral("Компакт");
    EXPECT_EQ(deviceInfoTexts(info).groupCaption, QStringLiteral("Verimant - Компакт"));
}

}  // namespace
}  // namespace verimant
