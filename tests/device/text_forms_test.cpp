#include "base/ui_language.h"
#include "device/device_info.h"
#include "device/device_info_texts.h"
#include "device/device_text_forms.h"
#include "device/ext_flash_version.h"

#include <QStringList>

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

TEST(TextForms, SerialNumberTexts) {
    struct Case {
        std::array<std::uint8_t, 4> serial;
        const char* text;
        const char* digits;
        const char* model;
    };
    const Case cases[] = {
        {{0x21, 0x43, 0x65, 0x87}, "1-23-45678", "12345678", "Y23"},
        {{0x00, 0x05, 0x00, 0x10}, "0-05-00001", "00500001", "Y5"},  // no leading zero in the key
        // Nibbles above 9 show as letters; the model key counts them as values.
        {{0xBA, 0xFC, 0xDE, 0x09}, "A-BC-FED90", "ABCFED90", "Y122"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const BoardRecord r = record(3, 2, 1, 1, c.serial);
        EXPECT_EQ(serialText(r), c.text);
        EXPECT_EQ(serialDigits(r), c.digits);
        EXPECT_EQ(modelKey(r), c.model);
    }
}

TEST(TextForms, BoardAndAssemblingTexts) {
    struct Case {
        int type, version, assembling1, assembling2;
        const char* board;
        QString assembling;
    };
    const Case cases[] = {
        {3, 2, 1, 1, "TRV-278.2", "(1:1)"},
        {12, 0, 0, 7, "TRV-7.0", "(0:7)"},
        {2, 255, 12, 200, "TRV-290.255", "(12:200)"},
        {0, 1, 1, 1, "UNKNOWN", "(1:1)"},
        {13, 1, 2, 2, "UNKNOWN", "(2:2)"},
        {7, 1, 1, 3, "TRV-76.1", "(1:3)"},
        // Board 245 of assembling 1 names its display variant.
        {1, 3, 1, 1, "TRV-245.3", "F4:L=104"},
        {1, 3, 1, 2, "TRV-245.3", "F4:L=373"},
        {1, 3, 1, 3, "TRV-245.3", QStringLiteral("F4:L=107_New_ПЭ")},
        {1, 3, 1, 4, "TRV-245.3", "F4:L=ERR"},
        {1, 3, 2, 2, "TRV-245.3", "(2:2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.type << "." << c.version << " " << c.assembling1 << ":" << c.assembling2);
        const BoardRecord r = record(c.type, c.version, c.assembling1, c.assembling2, {});
        EXPECT_EQ(boardText(r), c.board);
        EXPECT_EQ(assemblingText(r), c.assembling);
    }
    EXPECT_EQ(boardNumber(8), 274);
}

TEST(TextForms, VersionAndUidTexts) {
    EXPECT_EQ(versionText(0x0A10), "10.16");
    EXPECT_EQ(versionText(0xFFFF), "255.255");

    const ProcessorUid uid = {0x00, 0x0F, 0xA0, 0xFF, 0x12, 0x34,
                              0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF1};
    EXPECT_EQ(uidText(uid), "00:0F:A0:FF:12:34:56:78:9A:BC:DE:F1");
}

TEST(TextForms, ExternalFlashVersionTexts) {
    struct Case {
        QByteArray text;
        int result;
        std::uint16_t version;
    };
    const Case cases[] = {
        {"V1.05", kEflVersionRead, 0x0105},
        {" V 2 . 1 0", kEflVersionRead, 0x020A},
        {"12", kEflVersionRead, 12},
        {"255.255", kEflVersionRead, 0xFFFF},
        {"", kEflVersionRead, 0},
        {QByteArray("3.4\r9.9", 7), kEflVersionRead, 0x0304},  // a control byte ends the text
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
        EXPECT_EQ(version, c.result == kEflVersionRead ? c.version : 0xAAAA)
            << "untouched on failure";
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
    EXPECT_TRUE(texts.serialNumber.isEmpty() && texts.uid.isEmpty() &&
                texts.softwareExternal.isEmpty());
    setUiLanguage(UiLanguage::Russian);
    EXPECT_EQ(deviceInfoTexts(info).groupCaption, QStringLiteral("Информация об устройстве"));

    info.valid = true;
    texts = deviceInfoTexts(info);
    EXPECT_EQ(texts.groupCaption, "");
    EXPECT_EQ(QStringList({texts.serialNumber, texts.uid, texts.boardVersion, texts.boardAssembling,
                           texts.softwareBoot, texts.softwareMain, texts.softwareExternal}),
              QStringList({"1-23-45678", "00:00:00:00:00:00:00:00:00:00:00:00", "TRV-278.2",
                           "(1:1)", "4.16", "0.0", "1.5"}));
    info.modelName = QStringLiteral("Компакт");
    EXPECT_EQ(deviceInfoTexts(info).groupCaption, QStringLiteral("Verimant - Компакт"));
}

}  // namespace
}  // namespace verimant
