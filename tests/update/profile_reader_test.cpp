#include "update/profile_reader.h"

#include "update/profile_edit.h"

#include "platform/cp1251.h"
#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <QFile>

namespace verimant {
namespace {

struct LookupCase {
    const char* name;
    QByteArray file;  // CP1251
    QString section;
    QString key;
    std::optional<QString> expected;
};

// Each case is one rule of the profile format the server's files are written for.
TEST(ProfileReader, FindsValuesByTheProfileRules) {
    const QString longValue(3000, u'v');
    const std::vector<LookupCase> cases = {
        {"names ignore case", "[Serial_Number]\nbase_name=b.bin\n", "SERIAL_NUMBER", "BASE_NAME",
         "b.bin"},
        {"Cyrillic names ignore case", encodeCp1251("[ЯЗЫКИ]\nКлюч=значение\n"), "языки", "КЛЮЧ",
         "значение"},
        {"first section wins", "[A]\nk=1\n[a]\nk=2\nonly=3\n", "A", "k", "1"},
        {"second section of a name is never read", "[A]\nk=1\n[a]\nonly=3\n", "A", "only",
         std::nullopt},
        {"first key wins", "[A]\nk=1\nK=2\n", "A", "k", "1"},
        {"blanks around names and values go", "  [ A ]  \n  k  =  v w  \n", "A", "k", "v w"},
        {"matching double quotes go", "[A]\nk=\" v \"\n", "A", "k", " v "},
        {"matching single quotes go", "[A]\nk='v'\n", "A", "k", "v"},
        {"unmatched quotes stay", "[A]\nk=\"v'\n", "A", "k", "\"v'"},
        {"a lone quote stays", "[A]\nk=\"\n", "A", "k", "\""},
        {"comment lines are skipped", "[A]\n;k=1\nk=2\n", "A", "k", "2"},
        {"a semicolon inside a value stays", "[A]\nk=a;b\n", "A", "k", "a;b"},
        {"CR LF line ends", "[A]\r\nk=1\r\nj=2\r\n", "A", "j", "2"},
        {"CR line ends", "[A]\rk=1\rj=2", "A", "j", "2"},
        {"an equals sign in the value stays", "[A]\nk=a=b\n", "A", "k", "a=b"},
        {"an empty value is a value", "[A]\nk=\n", "A", "k", ""},
        {"keys before any section are nobody's", "k=1\n[A]\n", "A", "k", std::nullopt},
        {"a line without equals sign is no key", "[A]\nk\n", "A", "k", std::nullopt},
        {"values are cut at 2047 characters", "[A]\nk=" + longValue.toLatin1() + "\n", "A", "k",
         longValue.left(2047)},
        {"a header without its bracket still opens a section", "[A\nk=1\n", "A", "k", "1"},
    };
    for (const LookupCase& c : cases) {
        EXPECT_EQ(ProfileReader::fromBytes(c.file).value(c.section, c.key), c.expected) << c.name;
    }
}

TEST(ProfileReader, MissingFileReadsAsEmptyAndAFileOnDiskIsDecoded) {
    const ProfileReader missing = ProfileReader::fromFile(test::testRootDir() + "/none.ini");
    EXPECT_EQ(missing.readString("A", "k", "def"), "def");

    const QString path = test::testRootDir() + "/c.ini";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(encodeCp1251("[LANGUAGE:Восток]\nNAME_L1=Восточный\n"));
    file.close();
    const ProfileReader reader = ProfileReader::fromFile(path);
    EXPECT_EQ(reader.readString("language:восток", "name_l1", "???"), "Восточный");
}

struct IntegerCase {
    const char* text;
    std::int32_t expected;  // with default -77
};

TEST(ProfileReader, IntegersAreDecimalOrHexadecimalElseTheDefault) {
    const std::vector<IntegerCase> cases = {
        {"-5", -5},
        {"+5", 5},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", -77},
        {"0X1f", 31},
        {"$ff", 255},
        {"0xFFFFFFFF", -1},
        {"0x100000000", -77},
        {"0x", -77},  // two characters: read as a decimal, which it is not
        {"0xG", -77},
        {"$", -77},
        {"", -77},
        {"12abc", -77},
        {"-", -77},
    };
    for (const IntegerCase& c : cases) {
        EXPECT_EQ(parseProfileInteger(QString::fromLatin1(c.text), -77), c.expected) << c.text;
    }
    const ProfileReader reader = ProfileReader::fromBytes("[A]\nn= 0x10 \nq=\"12\"\nbad=x\n");
    EXPECT_EQ(reader.readInteger("A", "n", 0), 16);
    EXPECT_EQ(reader.readInteger("A", "q", 0), 12);
    EXPECT_EQ(reader.readInteger("A", "bad", 3), 3);
}

TEST(ProfileReader, ListsSectionsAndKeysInFileOrder) {
    const ProfileReader reader =
        ProfileReader::fromBytes("[FILE:K1]\nVERSION=1.5\nNAME=k.hex\n[SOFT_SET:X]\nKMT2=K1\n");
    EXPECT_EQ(reader.sectionNames(), (QStringList{"FILE:K1", "SOFT_SET:X"}));
    EXPECT_EQ(reader.keyNames("file:k1"), (QStringList{"VERSION", "NAME"}));
    EXPECT_TRUE(reader.keyNames("none").isEmpty());
}

struct EditCase {
    const char* name;
    QByteArray file;  // CP1251
    QString section;
    QString key;
    std::optional<QByteArray> expected;  // nothing: the section is not there
};

// A value is set where the reader will find it, and no other byte of the maker's file moves: a
// signature is made over the edited bytes as they stand.
TEST(ProfileReader, SettingAValueChangesOnlyWhatTheReaderReads) {
    const QByteArray cyrillic = encodeCp1251("[Б]\r\nИмя=Значение ; с пометкой\r\nk=1\r\n");
    const std::vector<EditCase> cases = {
        {"replaced, CR LF and the other lines kept", "; set\r\n[A]\r\nk=1\r\nj=2\r\n", "A", "k",
         "; set\r\n[A]\r\nk=X\r\nj=2\r\n"},
        {"names ignore case, the blanks before '=' stay", "[a]\n  K  = old  \n", "A", "k",
         "[a]\n  K  =X\n"},
        {"only the first key of a name", "[A]\nk=1\nk=2\n", "A", "k", "[A]\nk=X\nk=2\n"},
        {"only the first section of a name", "[A]\nj=1\n[a]\nk=2\n", "A", "k",
         "[A]\nj=1\nk=X\n[a]\nk=2\n"},
        {"a commented key is no key", "[A]\n;k=1\nj=2\n", "A", "k", "[A]\n;k=1\nj=2\nk=X\n"},
        {"added after the last key, before the blank line", "[A]\r\nj=1\r\n\r\n[B]\r\nk=0\r\n", "A",
         "k", "[A]\r\nj=1\r\nk=X\r\n\r\n[B]\r\nk=0\r\n"},
        {"added to a last line without a line end", "[A]\r\nj=1", "A", "k", "[A]\r\nj=1\r\nk=X"},
        {"added with CR line ends", "[A]\rj=1\r", "A", "k", "[A]\rj=1\rk=X\r"},
        {"added under a bare header", "[A]", "A", "k", "[A]\r\nk=X"},
        {"a key before any section is nobody's", "k=1\n[A]\n", "A", "k", "k=1\n[A]\nk=X\n"},
        {"CP1251 text around it stays", cyrillic, "б", "K",
         encodeCp1251("[Б]\r\nИмя=Значение ; с пометкой\r\nk=X\r\n")},
        {"no such section", "[A]\nk=1\n", "B", "k", std::nullopt},
    };
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<QByteArray> edited = withProfileValue(c.file, c.section, c.key, "X");
        EXPECT_EQ(edited, c.expected);
        if (edited) {
            EXPECT_EQ(ProfileReader::fromBytes(*edited).value(c.section, c.key), "X");
        }
    }
}

}  // namespace
}  // namespace verimant
