#include "update/device_language.h"

#include "base/activity_log.h"
#include "base/file_helpers.h"
#include "base/ui_language.h"
#include "base/user_dialogs.h"
#include "device/device_session.h"
#include "link/device_commands.h"
#include "link/device_records.h"
#include "link/settings_block.h"
#include "update/device_language_chooser.h"
#include "update/update_config.h"

namespace verimant {

namespace {

constexpr std::uint16_t kLanguageParameterId = 6;
constexpr int kLanguageSettingIndex = 6;
constexpr int kPauseBeforeRestartMs = 100;

// Where the instrument keeps its display language: instruments of board variants 40 to 59 hold
// it as a parameter of their own, the others in the settings block in the external flash. Unknown
// when the board information could not be read: no place may then be read or written as if known.
enum class LanguageStore { Parameter, SettingsBlock, Unknown };

LanguageStore languageStore(DeviceCommands& commands) {
    // boardCode() makes sure a board record is cached; instruments too old to report one get a
    // variant of 0.
    commands.boardCode();
    if (!commands.hasBoardInfo()) {
        return LanguageStore::Unknown;
    }
    const int tens = commands.boardInfo().variant / 10;
    return tens == 4 || tens == 5 ? LanguageStore::Parameter : LanguageStore::SettingsBlock;
}

// The block is read again when an earlier access failed, and also when it was never loaded valid
// in this run: an upgrade that started in the boot loader could not load it, and an unloaded block
// would pass its empty values off as the instrument's language.
void loadSettingsIfNeeded(ActivityLog& log, DeviceCommands& commands, SettingsBlock& settings,
                          LanguageStore store) {
    if (settings.settingsFailureCount() == 0 &&
        (store != LanguageStore::SettingsBlock || settings.loadedValid())) {
        return;
    }
    settings.resetSettingsFailureCount();
    log.AddLine(QStringLiteral("TRY PAR INIT"));
    settings.load(commands);
}

int readLanguage(DeviceCommands& commands, const SettingsBlock& settings, LanguageStore store) {
    if (store == LanguageStore::Unknown ||
        (store == LanguageStore::SettingsBlock && !settings.loadedValid())) {
        return kPresentLanguageUnread;
    }
    if (store == LanguageStore::SettingsBlock) {
        return settings.get(kLanguageSettingIndex);
    }
    // A failed read must not pass for language 0: the choice would show that one as the present
    // language, and choosing it would write nothing while the instrument keeps another.
    ParameterRecord record;
    record.id = kLanguageParameterId;
    if (!commands.readParameter(record, false)) {
        return kPresentLanguageUnread;
    }
    return std::int32_t(record.value);
}

bool writeLanguage(DeviceCommands& commands, SettingsBlock& settings, LanguageStore store,
                   int code) {
    if (settings.settingsFailureCount() != 0 || store == LanguageStore::Unknown) {
        return false;
    }
    if (store == LanguageStore::Parameter) {
        ParameterRecord record;
        record.id = kLanguageParameterId;
        record.value = std::uint32_t(code);
        return commands.writeParameter(record);
    }
    settings.set(commands, kLanguageSettingIndex, code);
    return settings.settingsFailureCount() == 0;
}

QString languageName(const LanguageCatalog* catalog, int code) {
    const LanguageEntry* entry = catalog != nullptr ? catalog->findLanguageByCode(code) : nullptr;
    return entry != nullptr ? PickText(entry->nameRu, entry->nameEn) : QString();
}

}  // namespace

int SetDeviceLanguage(DeviceSession& session, SettingsBlock& settings,
                      const LanguageCatalog* catalog, DeviceLanguageChooser& chooser, bool write) {
    DeviceCommands& commands = session.commands;
    const LanguageStore store = languageStore(commands);
    loadSettingsIfNeeded(session.log, commands, settings, store);
    const int oldCode = readLanguage(commands, settings, store);

    const int chosen = chooseDeviceLanguage(chooser, catalog, oldCode);
    if (chosen < 0 || !write) {
        return chosen;
    }

    const QString name = languageName(catalog, chosen);
    session.log.AddLine(
        QStringLiteral("TRY wrtiting parameter LANGUAGE to value = %1 (Old value = %2)")
            .arg(chosen)
            .arg(oldCode == kPresentLanguageUnread ? -1 : oldCode));
    const bool written = writeLanguage(commands, settings, store, chosen);
    if (!written) {
        settings.resetSettingsFailureCount();
        userDialogs().showError(PickText(QStringLiteral("Ошибка сохранения установок языка :("),
                                         QStringLiteral("Error saving Language Settings :(")));
        session.log.AddLine(QStringLiteral("ERROR in writing parameter LANGUAGE"));
    }

    // The restart also follows a failed write: the instrument then runs with whatever its flash
    // holds, rather than keeping a language in memory that a later power-up could change.
    waitMs(kPauseBeforeRestartMs);
    commands.resetDevice(DeviceCommands::kResetToMainFirmware, false);
    if (!written) {
        // Nothing is confirmed: the instrument keeps its old language.
        return kDeviceLanguageWriteFailed;
    }

    userDialogs().showInformation(PickText(QStringLiteral("Установлен язык прибора"),
                                           QStringLiteral("Language of Verimant is preseted to")) +
                                  QStringLiteral(" [") + name + QStringLiteral("]"));
    session.log.AddLine(QStringLiteral("OK NEW LANGUAGE = ") + name);
    return chosen;
}

}  // namespace verimant
