#pragma once

#include <QString>

namespace verimant {

enum class UiLanguage { Russian = 1, English = 2 };

UiLanguage uiLanguage();
void setUiLanguage(UiLanguage language);

// Resolves a Russian/English pair in the language in force, at the moment the text is shown.
QString PickText(const QString& russian, const QString& english);

// Reads the stored choice into the language in force (English only for the stored integer 2;
// anything else, another type, or nothing stored means Russian) and returns it.
UiLanguage LoadLanguage();
// Writes the language in force; failures are silent.
void StoreLanguage();

}  // namespace verimant
