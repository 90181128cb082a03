#include "base/ui_language.h"

#include "platform/setting_store.h"

#include <gtest/gtest.h>

namespace verimant {
namespace {

const QString kGroup = QStringLiteral("MANAGER/OPTIONS");
const QString kKey = QStringLiteral("LANGUAGE");

void expectLoaded(UiLanguage expected, const char* stored) {
    SCOPED_TRACE(stored);
    setUiLanguage(expected == UiLanguage::Russian ? UiLanguage::English : UiLanguage::Russian);
    EXPECT_EQ(LoadLanguage(), expected);
    EXPECT_EQ(uiLanguage(), expected);
}

TEST(UiLanguage, OnlyTheStoredIntegerTwoMeansEnglish) {
    expectLoaded(UiLanguage::Russian, "nothing");
    for (const qint32 value : {2, 0, 1, 3, -1}) {
        ASSERT_TRUE(writeUserInt32(kGroup, kKey, value));
        expectLoaded(value == 2 ? UiLanguage::English : UiLanguage::Russian,
                     qPrintable(QString::number(value)));
    }
    ASSERT_TRUE(writeUserText(kGroup, kKey, "2"));
    expectLoaded(UiLanguage::Russian, "text 2");
}

TEST(UiLanguage, StoredChoiceAndPickTextFollowTheLanguageInForce) {
    setUiLanguage(UiLanguage::English);
    EXPECT_EQ(PickText("Выход", "Exit"), "Exit");
    StoreLanguage();
    EXPECT_EQ(readUserInt32(kGroup, kKey), 2);
    expectLoaded(UiLanguage::English, "stored English");

    setUiLanguage(UiLanguage::Russian);
    EXPECT_EQ(PickText("Выход", "Exit"), "Выход");
    StoreLanguage();
    EXPECT_EQ(readUserInt32(kGroup, kKey), 1);
    expectLoaded(UiLanguage::Russian, "stored Russian");
}

}  // namespace
}  // namespace verimant
