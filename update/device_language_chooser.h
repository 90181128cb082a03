#pragma once

#include <QList>
#include <QStringList>

#include <limits>

namespace verimant {

struct LanguageCatalog;

// The result slot of the device-language choice: pending while open, then one of these or the
// chosen language's code (0 or more).
inline constexpr int kDeviceLanguagePending = -3;
// Closed with OK, but nothing new was chosen.
inline constexpr int kDeviceLanguageUnchanged = -2;
// Cancelled, or there was nothing to choose.
inline constexpr int kDeviceLanguageCancelled = -1;

// The present language when the instrument did not say which it is. No catalogue entry matches it,
// so the choice shows the present language as unknown and writes whichever language is chosen.
inline constexpr int kPresentLanguageUnread = std::numeric_limits<int>::max();

// The languages of the current packet as the choice offers them.
struct OfferedLanguages {
    QStringList names;  // display names in the interface language in force
    QList<int> codes;   // the instrument's code of each, same positions
    // Position of the instrument's present language, or -1 when it is not among them.
    int currentIndex = -1;
};

// The current packet's languages in packet order. A key without catalogue entry ends the list, so
// the keys after it are not offered.
OfferedLanguages offeredLanguages(const LanguageCatalog& catalog, int currentCode);

// Whether the choice has anything to offer: a catalogue, a known current code (not negative) and
// at least two languages in the current packet.
bool hasLanguageChoice(const LanguageCatalog* catalog, int currentCode);

// The slot value for OK with `selectedIndex` (-1: no selection): the chosen code, or
// kDeviceLanguageUnchanged for the present language or no selection.
int languageChoiceResult(const OfferedLanguages& offered, int selectedIndex);

// How the device-language step asks the user. The window answers with its device-language
// dialog, the command-line tool from its option, tests from a script.
class DeviceLanguageChooser {
public:
    virtual ~DeviceLanguageChooser() = default;

    // Offers the languages of the catalogue's current packet with `currentCode` as the
    // instrument's present one, and returns at once. `slot` becomes kDeviceLanguagePending here
    // and changes when the choice closes. Without a choice (see hasLanguageChoice) it becomes
    // kDeviceLanguageCancelled at once and nothing is shown. `catalog` and `slot` must stay alive
    // until the slot has changed.
    virtual void OpenDeviceLanguageDialog(const LanguageCatalog* catalog, int currentCode,
                                          int& slot) = 0;
};

// Opens the choice and waits, with the event loop running, until it is answered.
int chooseDeviceLanguage(DeviceLanguageChooser& chooser, const LanguageCatalog* catalog,
                         int currentCode);

}  // namespace verimant
