#include "base/ui_language.h"

#include "platform/setting_store.h"

#include <gtest/gtest.h>

namespace verimant {
namespace {

const QString kGroup = QStringLiteral("MANAGER/OPTIONS");
const QString kKey = QStringLiteral("LANGUAGE");

TEST(UiLanguage, OnlyTheStoredIntegerTwoMeansEnglish) {
    // Nothing stored.
    setUiLanguage(UiLanguage::English);
    EXPECT_EQ(LoadLanguage(), UiLanguage::Russian);
    EXPECT_EQ(uiLanguage(), UiLanguage::Russian);

    ASSERT_TRUE(writeUserInt32(kGroup, kKey, 2));
    EXPECT_EQ(LoadLanguage(), UiLanguage::English);
    EXPECT_EQ(uiLanguage(), UiLanguage::English);

    for (const qint32 value : {0, 1, 3, -1}) {
        ASSERT_TRUE(writeUserInt32(kGroup, kKey, value));
        setUiLanguage(UiLanguage::English);
        EXPECT_EQ(LoadLanguage(), UiLanguage::Russian) << value;
        EXPECT_EQ(uiLanguage(), UiLanguage::Russian) << value;
    }

    ASSERT_TRUE(writeUserText(kGroup, kKey, "2"));
    setUiLanguage(UiLanguage::English);
    EXPECT_EQ(LoadLanguage(), UiLanguage::Russian);
}

TEST(UiLanguage, ToggleStoresTheChoiceForTheNextRun) {
    EXPECT_EQ(LoadLanguage(), UiLanguage::Russian);
    setUiLanguage(UiLanguage::English);
    StoreLanguage();
    EXPECT_EQ(readUserInt32(kGroup, kKey), 2);

    setUiLanguage(UiLanguage::Russian);
    EXPECT_EQ(LoadLanguage(), UiLanguage::English);

    setUiLanguage(UiLanguage::Russian);
    StoreLanguage();
    EXPECT_EQ(readUserInt32(kGroup, kKey), 1);
    setUiLanguage(UiLanguage::English);
    EXPECT_EQ(LoadLanguage(), UiLanguage::Russian);
}

TEST(UiLanguage, PickTextFollowsTheLanguageInForce) {
    setUiLanguage(UiLanguage::Russian);
    EXPECT_EQ(PickText("Выход", "Exit"), "Выход");
    setUiLanguage(UiLanguage::English);
    EXPECT_EQ(PickText("Выход", "Exit"), "Exit");
    setUiLanguage(UiLanguage::Russian);
}

}  // namespace
}  // namespace verimant
