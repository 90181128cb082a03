#pragma once

#include "update/update_config.h"

namespace verimant::test {

// A catalogue of three instrument languages (codes 0 RU, 1 EN, 2 DE) whose current packet lists
// `packetLanguages`.
inline LanguageCatalog threeLanguageCatalog(const QStringList& packetLanguages = {"RU", "EN",
                                                                                  "DE"}) {
    LanguageCatalog catalog;
    const LanguageEntry entries[] = {{0, "RU", "Русский", "Russian"},
                                     {1, "EN", "Английский", "English"},
                                     {2, "DE", "Немецкий", "German"}};
    for (const LanguageEntry& entry : entries) {
        catalog.entries[catalog.count++] = entry;
    }
    catalog.currentPacket = QStringLiteral("EURO");
    catalog.currentLanguages = packetLanguages;
    return catalog;
}

}  // namespace verimant::test
