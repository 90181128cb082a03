#include "update/update_config.h"

#include "base/activity_log.h"
#include "device/device_info_texts.h"
#include "device/device_text_forms.h"
#include "platform/cp1251.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <QFile>

namespace verimant {
namespace {

class UpdateConfigTest : public ::testing::Test {
protected:
    // Opens a configuration made of `text` (written in CP1251, as the server publishes it).
    void open(const QString& text) {
        const QString path = test::testRootDir() + "/verimant_version_3.ini";
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(encodeCp1251(text));
        file.close();
        config_.openConfig(path);
    }

    QStringList catalogueKeys() const {
        QStringList keys;
        const LanguageCatalog& catalog = config_.languageCatalog();
        for (int i = 0; i < catalog.count; ++i) {
            keys.append(catalog.entries[i].key);
        }
        return keys;
    }

    UpdateConfig config_;
    ActivityLog log_;
};

TEST_F(UpdateConfigTest, OpeningNeverFailsAndAMissingFileGivesDefaults) {
    config_.openConfig(test::testRootDir() + "/absent.ini");
    EXPECT_TRUE(config_.isOpen());
    EXPECT_EQ(config_.readString("PROJECT_MANAGER", "VERSION_APP", "0.0.0"), "0.0.0");
    EXPECT_EQ(config_.readInteger("PROJECT_MANAGER", "ACTION_IF_NEED_UPGRADE", 0), 0);
    config_.loadLanguageCatalog();
    EXPECT_EQ(config_.languageCatalog().count, 0);

    UpdateConfig closed;
    closed.openConfig(QString());
    EXPECT_FALSE(closed.isOpen());
}

struct CatalogueCase {
    const char* name;
    QString languages;  // the body of the LANGUAGES section
    QStringList keys;
};

TEST_F(UpdateConfigTest, CatalogueItemsAreParsedOrSkipped) {
    const std::vector<CatalogueCase> cases = {
        {"items of several keys",
         "LANG_LIST_1=1:RU:Русский:Russian,2:EN:Английский:English\n"
         "LANG_LIST_2=3:DE:Немецкий:German",
         {"RU", "EN", "DE"}},
        {"an empty first key ends the catalogue", "LANG_LIST_1=\nLANG_LIST_2=1:RU:Р:R", {}},
        {"a blank first key ends it too", "LANG_LIST_1=   \nLANG_LIST_2=1:RU:Р:R", {}},
        {"a key of only commas ends it", "LANG_LIST_1=,,\nLANG_LIST_2=1:RU:Р:R", {}},
        {"an empty key part leaves three parts", "LANG_LIST_1=1::Р:R,2:EN:А:E", {"EN"}},
        {"a negative code is skipped", "LANG_LIST_1=-1:RU:Р:R,0:EN:А:E", {"EN"}},
        {"a code that is no number is skipped", "LANG_LIST_1=x:RU:Р:R,1a:DE:Н:G", {}},
        {"blanks around the key and code go", "LANG_LIST_1= 4 : FR :Ф:F", {"FR"}},
        {"parts after the fourth are ignored", "LANG_LIST_1=1:RU:Р:R:extra:more", {"RU"}},
        {"empty items are dropped", "LANG_LIST_1=,1:RU:Р:R,,", {"RU"}},
        {"LANG_NUM stops after the key that reached it",
         "LANG_NUM=2\nLANG_LIST_1=1:A:a:a,2:B:b:b,3:C:c:c\nLANG_LIST_2=4:D:d:d",
         {"A", "B", "C"}},
        {"LANG_NUM not yet reached reads on",
         "LANG_NUM=3\nLANG_LIST_1=1:A:a:a\nLANG_LIST_2=2:B:b:b\nLANG_LIST_3=3:C:c:c\n"
         "LANG_LIST_4=4:D:d:d",
         {"A", "B", "C"}},
        {"a gap in the numbering ends the catalogue",
         "LANG_LIST_1=1:A:a:a\nLANG_LIST_3=3:C:c:c",
         {"A"}},
    };
    for (const CatalogueCase& c : cases) {
        open("[LANGUAGES]\n" + c.languages + "\n");
        config_.loadLanguageCatalog();
        EXPECT_EQ(catalogueKeys(), c.keys) << c.name;
    }
}

TEST_F(UpdateConfigTest, CatalogueKeepsAHundredEntriesAndStopsAtKey99) {
    QString body;
    for (int i = 1; i <= 120; ++i) {
        body += QStringLiteral("LANG_LIST_%1=%1:K%1:р:e\n").arg(i);
    }
    open("[LANGUAGES]\n" + body);
    config_.loadLanguageCatalog();
    EXPECT_EQ(config_.languageCatalog().count, 99);
    EXPECT_EQ(catalogueKeys().back(), "K99");

    QString wide = "LANG_LIST_1=";
    for (int i = 0; i < 130; ++i) {
        wide += QStringLiteral("%1:K%1:р:e,").arg(i);
    }
    open("[LANGUAGES]\n" + wide + "\n");
    config_.loadLanguageCatalog();
    EXPECT_EQ(config_.languageCatalog().count, LanguageCatalog::kSlots);
    EXPECT_EQ(catalogueKeys().back(), "K99");
}

TEST_F(UpdateConfigTest, LanguagesAreFoundByCodeAndByNameWithoutCase) {
    open("[LANGUAGES]\nLANG_LIST_1=7:Рус:Русский:Russian,8:EN:Английский:English,9:ен:Д:D\n");
    config_.loadLanguageCatalog();
    const LanguageCatalog& catalog = config_.languageCatalog();
    ASSERT_NE(catalog.findLanguageByCode(8), nullptr);
    EXPECT_EQ(catalog.findLanguageByCode(8)->key, "EN");
    EXPECT_EQ(catalog.findLanguageByCode(8)->displayName(UiLanguage::English), "English");
    EXPECT_EQ(catalog.findLanguageByCode(8)->displayName(UiLanguage::Russian), "Английский");
    EXPECT_EQ(catalog.findLanguageByCode(1), nullptr);
    EXPECT_EQ(catalog.findLanguageByName("рУС")->code, 7);
    EXPECT_EQ(catalog.findLanguageByName("en")->code, 8);  // Latin "en", not the Cyrillic "ен"
    EXPECT_EQ(catalog.findLanguageByName("ЕН")->code, 9);
    EXPECT_EQ(catalog.findLanguageByName("DE"), nullptr);
}

struct SetCase {
    const char* setName;
    QStringList packets;
};

TEST_F(UpdateConfigTest, LanguageSetsMatchTheirNameExactly) {
    open(
        "[LANGUAGES]\nLANG_SET_NUM=5\nLANG_SET_1=EU-no-colon\nLANG_SET_2=RU:Базовый,,Восток\n"
        "LANG_SET_3=ru:Other\nLANG_SET_4=EU:West\nLANG_SET_5=EU:Second\nLANG_SET_6=ASIA:Far\n"
        "LANG_SET_7=EMPTY:,\n");
    const std::vector<SetCase> cases = {
        {"RU", {"Базовый", "Восток"}}, {"ru", {"Other"}}, {"Ru", {}}, {"EU", {"West"}},
        {"EU-no-colon", {}},           {"ASIA", {}},      {"", {}},
    };
    for (const SetCase& c : cases) {
        ActivityLog log;
        const LanguagePackets packets = config_.packetsForLanguageSet(c.setName, log);
        EXPECT_EQ(packets.packets, c.packets) << c.setName;
        EXPECT_EQ(packets.ok, !c.packets.isEmpty()) << c.setName;
        QStringList sections;
        for (const QString& packet : c.packets) {
            sections.append("LANGUAGE:" + packet);
        }
        EXPECT_EQ(packets.sections, sections) << c.setName;
        EXPECT_EQ(log.lines(), c.packets.isEmpty()
                                   ? QStringList{"Ошибка получения списка языков: ERC[0]"}
                                   : QStringList{})
            << c.setName;
    }
}

TEST_F(UpdateConfigTest, AHugeSetCountDoesNotSpinThroughAbsentKeys) {
    open("[LANGUAGES]\nLANG_SET_NUM=2147483647\nLANG_SET_3=RU:Base\n");
    EXPECT_EQ(config_.packetsForLanguageSet("RU", log_).packets, QStringList{"Base"});
    EXPECT_TRUE(config_.packetsForLanguageSet("EU", log_).packets.isEmpty());
}

TEST_F(UpdateConfigTest, SelectingAPacketReadsItsLanguagesAndClearsThePrevious) {
    open("[LANGUAGE:Base]\nLANG_LIST=RU,, EN ,DE\n[LANGUAGE:Empty]\nNAME_L1=x\n");
    config_.selectLanguagePacket("base");
    EXPECT_EQ(config_.languageCatalog().currentPacket, "base");
    EXPECT_EQ(config_.languageCatalog().currentLanguages, (QStringList{"RU", " EN ", "DE"}));
    config_.selectLanguagePacket("Empty");
    EXPECT_EQ(config_.languageCatalog().currentPacket, "Empty");
    EXPECT_TRUE(config_.languageCatalog().currentLanguages.isEmpty());
}

TEST_F(UpdateConfigTest, ModelNamesComeFromTheSerialNumberSection) {
    open("[SERIAL_NUMBER]\nBASE_NAME=base.bin\nY23=Компакт\ny5=Field\n");
    EXPECT_EQ(config_.modelName("Y23"), "Компакт");
    EXPECT_EQ(config_.modelName("Y5"), "Field");
    EXPECT_EQ(config_.modelName("Y6"), "");
}

// The readout names the instrument by the model key of its serial number, and the window's group
// caption carries that name.
TEST_F(UpdateConfigTest, TheReadoutsModelKeyFindsTheCaptionsName) {
    open("[SERIAL_NUMBER]\nY23=Компакт\nY5=Поле\n");
    const ModelNameLookup& names = config_;
    const std::vector<std::pair<std::array<std::uint8_t, 4>, QString>> cases = {
        {{0x21, 0x43, 0x65, 0x87}, "Verimant - Компакт"},  // 1-23-45678: Y23
        {{0x01, 0x05, 0x00, 0x00}, "Verimant - Поле"},     // 1-05-00000: Y5, no leading zero
        {{0x21, 0x44, 0x65, 0x87}, ""},                    // Y24 is not configured
    };
    for (const auto& [serialBytes, caption] : cases) {
        DeviceInfo info;
        info.valid = true;
        std::copy(serialBytes.begin(), serialBytes.end(), info.boardRecord.raw.begin() + 9);
        info.modelName = names.modelName(modelKey(info.boardRecord));
        EXPECT_EQ(deviceInfoTexts(info).groupCaption, caption)
            << modelKey(info.boardRecord).toStdString();
    }
}

TEST(FirmwareSetSection, IsAssembledFromBoardModelAndPacket) {
    EXPECT_EQ(softSetSection(245, 3, "Компакт", "Base"), "SOFT_SET:TRV-245.V3.Компакт.Base");
    EXPECT_EQ(softSetSection(7, 0, "", ""), "SOFT_SET:TRV-7.V0..");
}

}  // namespace
}  // namespace verimant
