#include "platform/setting_store.h"

#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>

#include <limits>

namespace verimant {
namespace {

const QString kGroup = QStringLiteral("MANAGER/OPTIONS");

TEST(SettingStore, IntegersRoundTripInTheUsersOwnConfiguration) {
    EXPECT_EQ(readUserInt32(kGroup, "LANGUAGE"), std::nullopt);
    for (const qint32 value :
         {0, 2, -1, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()}) {
        ASSERT_TRUE(writeUserInt32(kGroup, "LANGUAGE", value));
        EXPECT_EQ(readUserInt32(kGroup, "LANGUAGE"), value);
    }
    // Keys and groups are separate values.
    EXPECT_EQ(readUserInt32(kGroup, "OTHER"), std::nullopt);
    EXPECT_EQ(readUserInt32("MANAGER", "LANGUAGE"), std::nullopt);
    QSettings stored(test::testRootDir() + "/config/PELMA/KMT2.conf", QSettings::IniFormat);
    EXPECT_TRUE(stored.contains("MANAGER/OPTIONS/LANGUAGE"));
}

TEST(SettingStore, TextIsNeverReadAsAnInteger) {
    for (const QString& text :
         {QStringLiteral("2"), QStringLiteral("0x2"), QStringLiteral(""), QStringLiteral("dword:2"),
          QStringLiteral("dword:0000000g"), QStringLiteral("dword:000000002")}) {
        ASSERT_TRUE(writeUserText(kGroup, "LANGUAGE", text));
        EXPECT_EQ(readUserInt32(kGroup, "LANGUAGE"), std::nullopt) << text.toStdString();
    }
    ASSERT_TRUE(writeUserInt32(kGroup, "LANGUAGE", 2));
    EXPECT_EQ(readUserInt32(kGroup, "LANGUAGE"), 2) << "an integer replaces a text";
}

TEST(SettingStore, UnwritableStoreReportsFailure) {
    // The configuration folder would have to be made below a plain file: that fails for root too.
    const QString blocker = test::testRootDir() + "/not-a-folder";
    QFile plain(blocker);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, blocker + "/config");
    EXPECT_FALSE(writeUserInt32(kGroup, "LANGUAGE", 2));
    EXPECT_FALSE(writeUserText(kGroup, "LANGUAGE", "x"));
    EXPECT_EQ(readUserInt32(kGroup, "LANGUAGE"), std::nullopt);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       test::testRootDir() + "/config");
}

}  // namespace
}  // namespace verimant
