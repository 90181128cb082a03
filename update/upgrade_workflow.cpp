#include "update/upgrade_workflow.h"

#include "base/activity_log.h"
#include "base/ui_language.h"
#include "base/user_dialogs.h"
#include "device/device_info.h"
#include "device/device_session.h"
#include "device/device_text_forms.h"
#include "device/ext_flash_version.h"
#include "device/instrument_identity.h"
#include "device/mode_switching.h"
#include "device/update_efl.h"
#include "device/update_kmt2.h"
#include "device/write_cancel.h"
#include "link/device_commands.h"
#include "link/settings_block.h"
#include "update/busy_view.h"
#include "update/device_language.h"
#include "update/device_language_chooser.h"
#include "update/firmware_set.h"
#include "update/packet_chooser.h"
#include "update/serial_number_base.h"
#include "update/update_config.h"
#include "update/update_run.h"
#include "update/upgrade_difference.h"

namespace verimant {

namespace {

// The only board number whose instruments must carry board type code 1.
constexpr int kBoardNumberOfTypeOne = 245;
constexpr int kRequiredBoardTypeCode = 1;

// Keeps the busy indicator up for one span of work, however the span is left.
class BusySpan {
public:
    explicit BusySpan(BusyView& busy) : busy_(busy) { busy_.ShowBusy(kBusyPeriodMs); }
    ~BusySpan() { end(); }
    BusySpan(const BusySpan&) = delete;
    BusySpan& operator=(const BusySpan&) = delete;

    void end() {
        if (shown_) {
            shown_ = false;
            busy_.HideBusy();
        }
    }

private:
    BusyView& busy_;
    bool shown_ = true;
};

// Marks the span in which the run writes into the instrument, however the span is left.
class WritingSpan {
public:
    WritingSpan() { setRunWriting(true); }
    ~WritingSpan() { setRunWriting(false); }
    WritingSpan(const WritingSpan&) = delete;
    WritingSpan& operator=(const WritingSpan&) = delete;
};

class UpgradeWorkflow {
public:
    explicit UpgradeWorkflow(UpgradeParts& parts)
        : parts_(parts), log_(parts.session.log), info_(parts.run.deviceInfo()) {}

    // Up to the list of changes; Checked when the set is loaded and the changes are known. Only
    // a run that may write loads (and so may repair) the settings block.
    UpgradeOutcome prepare(UpgradeCheck& check, bool loadSettings);
    UpgradeOutcome consentAndWrite(UpgradeCheck& check);

private:
    bool readInstrument();
    void loadSettingsIfMainFirmware();
    bool lookUpRecord();
    bool boardTypeMatches();
    bool boardVersionMatches();
    bool packetsOffered();
    UpgradeOutcome askForPacket(QString& packet);
    bool loadFirmwareSet(const QString& section);
    bool filesFitInstrument();
    bool askConsent(const QString& differences);
    ReinstallDecision reinstallDecision(const QString& differences) const;
    bool writeBoth();
    bool sameInstrument();
    bool versionsAsWritten();
    bool stoppedBeforeWriting();
    void reportWriteFailure();
    QString localFile(const QString& name) const;

    void refuse(const QString& russian, const QString& english);

    UpgradeParts& parts_;
    ActivityLog& log_;
    DeviceInfo& info_;
    QString serial_;
    LanguagePackets offered_;
};

void UpgradeWorkflow::refuse(const QString& russian, const QString& english) {
    userDialogs().showError(PickText(russian, english));
}

bool UpgradeWorkflow::readInstrument() {
    BusySpan busy(parts_.busy);
    const bool read = DeviceInformation_Get(parts_.session, info_, parts_.run.config());
    busy.end();
    if (parts_.showDeviceInfo) {
        parts_.showDeviceInfo(info_);
    }
    return read;
}

// The settings block is kept by the main firmware; a readout that failed half-way may still have
// told which program runs, and a bad copy is worth repairing before anything is written.
void UpgradeWorkflow::loadSettingsIfMainFirmware() {
    if (info_.programInfo.mainVersion == 0) {
        return;
    }
    SettingsBlock& settings = parts_.settings;
    settings.resetSettingsFailureCount();
    log_.AddLine(QStringLiteral("TRY PAR INIT"));
    settings.load(parts_.session.commands);
    if (settings.settingsFailureCount() > 0) {
        settings.resetSettingsFailureCount();
        log_.AddLine(QStringLiteral("ERROR"));
    }
    log_.AddLine(QStringLiteral("OK"));
}

bool UpgradeWorkflow::lookUpRecord() {
    serial_ = serialDigits(info_.boardRecord);
    const int index = parts_.run.base().findSerial(serial_);
    if (index == 0) {
        refuse(QStringLiteral("Для Вашего прибора") + QStringLiteral("\nSN=[") + serial_ +
                   QStringLiteral("]\nобновлений нет"),
               QStringLiteral("For Your Device") + QStringLiteral("\nSN=[") + serial_ +
                   QStringLiteral("]\nno updates"));
        log_.AddLine(QStringLiteral("ERROR SN [") + serial_ + QStringLiteral("] : not registered"));
        return false;
    }
    if (!parts_.run.base().readRecord(index, parts_.run.currentRecord())) {
        refuse(QStringLiteral("Ошибка загрузки данных [") + serial_ + QLatin1Char(']'),
               QStringLiteral("Error Loading Data [") + serial_ + QLatin1Char(']'));
        log_.AddLine(QStringLiteral("ERROR SN [") + serial_ +
                     QStringLiteral("] : not loaded data"));
        return false;
    }
    return true;
}

bool UpgradeWorkflow::boardTypeMatches() {
    if (parts_.run.currentRecord().boardNumber != kBoardNumberOfTypeOne ||
        info_.boardRecord.boardTypeCode() == kRequiredBoardTypeCode) {
        return true;
    }
    refuse(QStringLiteral("Не соответствует тип платы"),
           QStringLiteral("Board Type do not mutch with Base"));
    log_.AddLine(QStringLiteral("ERROR BOARD CODE : do not mutch with Base"));
    return false;
}

bool UpgradeWorkflow::boardVersionMatches() {
    const int recorded = parts_.run.currentRecord().boardVersion;
    const int actual = info_.boardRecord.boardVersion();
    if (recorded == 0 || recorded == actual) {
        return true;
    }
    const QString versions = QString::number(recorded);
    refuse(QStringLiteral("Не соответствует версия платы\nВ базе : ") + versions +
               QStringLiteral("\nУ Вас: ") + QString::number(actual),
           QStringLiteral("Board Version do not mutch with Base\nIn Base : ") + versions +
               QStringLiteral("\nIn Your Device : ") + QString::number(actual));
    log_.AddLine(QStringLiteral("ERROR BOARD VERSION  : do not mutch with Base"));
    return false;
}

bool UpgradeWorkflow::packetsOffered() {
    offered_ =
        parts_.run.config().packetsForLanguageSet(parts_.run.currentRecord().languageSet, log_);
    if (offered_.ok) {
        return true;
    }
    refuse(QStringLiteral("Ошибка получения данных по языкам!\nОбновление недоступно :("),
           QStringLiteral("Error Loading Language Packet!\nUpgrade Uavalible :("));
    return false;
}

// Checked once a packet is chosen. A chooser's own refusal has said why; only a cancel is the
// user's.
UpgradeOutcome UpgradeWorkflow::askForPacket(QString& packet) {
    const int chosen = choosePacket(parts_.packets, parts_.run.config(), offered_.packets);
    if (chosen == kPacketChoiceRefused) {
        return UpgradeOutcome::Refused;
    }
    if (chosen < 0 || chosen >= offered_.packets.size()) {
        refuse(QStringLiteral("Обновление отменено пользователем"),
               QStringLiteral("Upgrade aborted by User"));
        return UpgradeOutcome::Cancelled;
    }
    packet = offered_.packets.at(chosen);
    return UpgradeOutcome::Checked;
}

bool UpgradeWorkflow::loadFirmwareSet(const QString& section) {
    BusySpan busy(parts_.busy);
    const bool loaded = verimant::loadFirmwareSet(parts_.run.config(), section, parts_.run.source(),
                                                  parts_.run.tempFolder(), log_);
    busy.end();
    if (!loaded) {
        refuse(QStringLiteral(
                   "Данные из сервера не получены!\nИнформация по обновлению недоступна :("),
               QStringLiteral("Information from Server is not loaded!\nUpgade is unavalible :("));
    }
    return loaded;
}

// Both files are read and checked against this instrument before it is asked anything or restarted:
// a main firmware the boot loader cannot take would otherwise be found only after the switch, and
// leave the instrument in its boot loader until the server is mended.
bool UpgradeWorkflow::filesFitInstrument() {
    const FirmwareSet& set = parts_.run.config().firmwareSet();
    return checkFirmwareFile(parts_.session, localFile(set.kmt2.fileName)) &&
           checkDataFile(parts_.session, localFile(set.efl.fileName));
}

UpgradeOutcome UpgradeWorkflow::prepare(UpgradeCheck& check, bool loadSettings) {
    const bool read = readInstrument();
    if (loadSettings) {
        loadSettingsIfMainFirmware();
    }
    if (!read) {
        refuse(QStringLiteral("Данные из прибора не получены!"),
               QStringLiteral("Information from Device not Loaded!"));
        return UpgradeOutcome::Refused;
    }
    if (!lookUpRecord() || !boardTypeMatches() || !boardVersionMatches() || !packetsOffered()) {
        return UpgradeOutcome::Refused;
    }
    const UpgradeOutcome chosen = askForPacket(check.packet);
    if (chosen != UpgradeOutcome::Checked) {
        return chosen;
    }
    if (stoppedBeforeWriting()) {
        return UpgradeOutcome::Cancelled;
    }
    parts_.run.config().selectLanguagePacket(check.packet);
    check.section = softSetSection(parts_.run.currentRecord().boardNumber,
                                   info_.boardRecord.boardVersion(), info_.modelName, check.packet);
    if (!loadFirmwareSet(check.section) || !filesFitInstrument()) {
        return UpgradeOutcome::Refused;
    }
    if (stoppedBeforeWriting()) {
        return UpgradeOutcome::Cancelled;
    }
    const FirmwareSet& set = parts_.run.config().firmwareSet();
    check.mainVersionBefore = info_.programInfo.mainVersion;
    check.eflVersionBefore = info_.eflVersion;
    check.differences = upgradeDifferenceText(info_.programInfo.mainVersion, set.kmt2.versionCode,
                                              info_.eflVersion, set.efl.versionCode);
    return UpgradeOutcome::Checked;
}

bool UpgradeWorkflow::askConsent(const QString& differences) {
    if (differences.isEmpty()) {
        return userDialogs().askYesNo(
            PickText(QStringLiteral("В приборе установлено самое новое ПО\nОбновление не "
                                    "требуется\nВсе равно переустановить программное обеспечение?"),
                     QStringLiteral("You have the latest firmware already!\nNo need "
                                    "Updating!\nReinstall software anyway?")),
            QString());
    }
    return userDialogs().askYesNo(
        PickText(QStringLiteral("Доступны обновления"), QStringLiteral("Update is avaliable")) +
            QStringLiteral(" :\n") + differences +
            PickText(QStringLiteral("\nВыполнить обновление сейчас?"),
                     QStringLiteral("\nStart Updating now?")),
        QString());
}

ReinstallDecision UpgradeWorkflow::reinstallDecision(const QString& differences) const {
    return differences.isEmpty() && parts_.reinstall ? parts_.reinstall() : ReinstallDecision::Ask;
}

// The same confinement the download used, so both agree on where the file lies.
QString UpgradeWorkflow::localFile(const QString& name) const {
    return parts_.run.localPathFor(name);
}

// Each step only after the one before succeeded; the instrument stays wherever a failed step left
// it, and a rerun starts from a fresh readout.
bool UpgradeWorkflow::writeBoth() {
    DeviceSession& session = parts_.session;
    const FirmwareSet& set = parts_.run.config().firmwareSet();
    const QString firmware = localFile(set.kmt2.fileName);
    const QString data = localFile(set.efl.fileName);
    // A writer given no path asks the user for a file; the upgrade only writes what it fetched.
    if (firmware.isEmpty() || data.isEmpty()) {
        return false;
    }
    return Device_goto_BOOT(session) == kModeSwitched && sameInstrument() &&
           Update_KMT2(session, firmware, parts_.writeOptions) &&
           Device_GoTo_KMT2(session) == kModeSwitched && sameInstrument() &&
           Update_EFL(session, data, parts_.writeOptions);
}

// Whatever answers after a restart must be the instrument the run read at its start: on a bench
// with several instruments another one can come back under this port.
bool UpgradeWorkflow::sameInstrument() {
    return confirmSameInstrument(parts_.session, identityOf(info_));
}

// A stop asked for before anything was written ends the run as the packet dialog's cancel does.
bool UpgradeWorkflow::stoppedBeforeWriting() {
    if (!runStopRequested()) {
        return false;
    }
    refuse(QStringLiteral("Обновление отменено пользователем"),
           QStringLiteral("Upgrade aborted by User"));
    return true;
}

// After the last restart the instrument must report what was written: a boot loader that kept
// the old firmware, or a wrong file, would otherwise end in congratulations.
bool UpgradeWorkflow::versionsAsWritten() {
    const FirmwareSet& set = parts_.run.config().firmwareSet();
    DeviceSession& session = parts_.session;
    ProgramInfo program;
    const bool programRead = session.commands.readProgramInfo(&program, true);
    info_.programInfo.mainVersion = programRead ? program.mainVersion : 0;
    info_.eflVersionRead = DeviceExtFlashVersion_Get(session, info_.eflVersion) == kEflVersionRead;
    if (parts_.showDeviceInfo) {
        parts_.showDeviceInfo(info_);
    }
    const QString reported =
        QStringLiteral("KMT2 ") +
        (programRead ? versionText(program.mainVersion) : QStringLiteral("?")) +
        QStringLiteral(", EFL ") +
        (info_.eflVersionRead ? versionText(info_.eflVersion) : QStringLiteral("?"));
    session.log.AddLine(QStringLiteral("VERSIONS AFTER UPDATE : ") + reported);
    if (programRead && program.mainVersion == set.kmt2.versionCode && info_.eflVersionRead &&
        info_.eflVersion == set.efl.versionCode) {
        return true;
    }
    session.log.AddErrorLine(QStringLiteral("ERROR : the instrument reports ") + reported +
                                 QStringLiteral("; written KMT2 ") +
                                 versionText(set.kmt2.versionCode) + QStringLiteral(", EFL ") +
                                 versionText(set.efl.versionCode),
                             0);
    return false;
}

void UpgradeWorkflow::reportWriteFailure() {
    userDialogs().showInformation(
        PickText(QStringLiteral("Ошибка обновления!"), QStringLiteral("Updating Error")));
}

UpgradeOutcome UpgradeWorkflow::consentAndWrite(UpgradeCheck& check) {
    if (parts_.allowDowngrade) {
        const FirmwareSet& set = parts_.run.config().firmwareSet();
        const QString downgrades =
            downgradeText(info_.programInfo.mainVersion, set.kmt2.versionCode, info_.eflVersion,
                          set.efl.versionCode);
        if (!downgrades.isEmpty() && !parts_.allowDowngrade(downgrades)) {
            log_.AddLine(QStringLiteral("DOWNGRADE REFUSED : ") + downgrades);
            return UpgradeOutcome::Refused;
        }
    }
    const ReinstallDecision reinstall = reinstallDecision(check.differences);
    if (reinstall == ReinstallDecision::LeaveAsIs) {
        return UpgradeOutcome::UpToDate;
    }
    if (reinstall == ReinstallDecision::Ask && !askConsent(check.differences)) {
        return UpgradeOutcome::Declined;
    }
    if (stoppedBeforeWriting()) {
        return UpgradeOutcome::Cancelled;
    }
    log_.AddLine(QStringLiteral("==>Начинаем процесс обновления"));
    BusySpan busy(parts_.busy);
    {
        const WritingSpan writing;
        // The new data image takes effect with a fresh start of the main firmware. The display
        // language is written after that restart, so it too must reach the same instrument.
        bool written = writeBoth();
        if (written) {
            Device_GoTo_KMT2(parts_.session);
            written = sameInstrument() && versionsAsWritten();
        }
        if (!written) {
            busy.end();
            reportWriteFailure();
            return UpgradeOutcome::WriteFailed;
        }
    }
    busy.end();
    userDialogs().showInformation(
        PickText(QStringLiteral("Поздравляем!!!\nОбновление успешно завершено!"),
                 QStringLiteral("Congratulations!!!\n Udating successfully finished!")));
    const int language =
        SetDeviceLanguage(parts_.session, parts_.settings, &parts_.run.config().languageCatalog(),
                          parts_.languages, true);
    check.languageWriteFailed = language == kDeviceLanguageWriteFailed;
    return UpgradeOutcome::Written;
}

}  // namespace

UpgradeOutcome runUpgradeWorkflow(UpgradeParts& parts, UpgradeCheck* check) {
    UpgradeWorkflow workflow(parts);
    UpgradeCheck found;
    const UpgradeOutcome prepared = workflow.prepare(found, true);
    const UpgradeOutcome outcome =
        prepared == UpgradeOutcome::Checked ? workflow.consentAndWrite(found) : prepared;
    if (check != nullptr) {
        *check = found;
    }
    return outcome;
}

UpgradeOutcome checkUpgrade(UpgradeParts& parts, UpgradeCheck& check) {
    UpgradeWorkflow workflow(parts);
    return workflow.prepare(check, false);
}

}  // namespace verimant
