#include "base/ui_language.h"

#include "platform/setting_store.h"

#include <atomic>

namespace verimant {

namespace {

const QString kOptionsGroup = QStringLiteral("MANAGER/OPTIONS");
const QString kLanguageKey = QStringLiteral("LANGUAGE");
constexpr qint32 kStoredEnglish = 2;

std::atomic<UiLanguage> languageInForce{UiLanguage::Russian};

}  // namespace

UiLanguage uiLanguage() {
    return languageInForce.load();
}

void setUiLanguage(UiLanguage language) {
    languageInForce.store(language);
}

QString PickText(const QString& russian, const QString& english) {
    return uiLanguage() == UiLanguage::Russian ? russian : english;
}

UiLanguage LoadLanguage() {
    const std::optional<qint32> stored = readUserInt32(kOptionsGroup, kLanguageKey);
    const UiLanguage language =
        stored == kStoredEnglish ? UiLanguage::English : UiLanguage::Russian;
    setUiLanguage(language);
    return language;
}

void StoreLanguage() {
    // A failed write only means the next run starts in the stored (or default) language.
    writeUserInt32(kOptionsGroup, kLanguageKey, static_cast<qint32>(uiLanguage()));
}

}  // namespace verimant
