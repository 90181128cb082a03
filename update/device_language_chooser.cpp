#include "update/device_language_chooser.h"

#include "platform/event_wait.h"
#include "update/update_config.h"

namespace verimant {

namespace {

// A user may take as long as they like; the wait is only cut into rounds.
constexpr int kWaitRoundMs = 60000;

}  // namespace

OfferedLanguages offeredLanguages(const LanguageCatalog& catalog, int currentCode) {
    OfferedLanguages offered;
    for (const QString& key : catalog.currentLanguages) {
        const LanguageEntry* entry = catalog.findLanguageByName(key);
        if (entry == nullptr) {
            break;
        }
        if (entry->code == currentCode && currentCode != kPresentLanguageUnread) {
            offered.currentIndex = int(offered.codes.size());
        }
        offered.names.append(entry->displayName(uiLanguage()));
        offered.codes.append(entry->code);
    }
    return offered;
}

bool hasLanguageChoice(const LanguageCatalog* catalog, int currentCode) {
    return catalog != nullptr && currentCode >= 0 && catalog->currentLanguages.size() >= 2;
}

int languageChoiceResult(const OfferedLanguages& offered, int selectedIndex) {
    if (selectedIndex == offered.currentIndex || selectedIndex < 0 ||
        selectedIndex >= offered.codes.size()) {
        return kDeviceLanguageUnchanged;
    }
    return offered.codes.at(selectedIndex);
}

int chooseDeviceLanguage(DeviceLanguageChooser& chooser, const LanguageCatalog* catalog,
                         int currentCode) {
    int slot = kDeviceLanguagePending;
    chooser.OpenDeviceLanguageDialog(catalog, currentCode, slot);
    while (!pumpEventsUntil([&slot] { return slot != kDeviceLanguagePending; }, kWaitRoundMs)) {
    }
    return slot;
}

}  // namespace verimant
