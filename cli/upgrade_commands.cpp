#include "cli/upgrade_commands.h"

#include "cli/cli_command.h"
#include "cli/cli_run.h"
#include "cli/cli_source.h"
#include "cli/cli_update_side.h"
#include "cli/cli_upgrade_choices.h"
#include "cli/firmware_write_commands.h"
#include "cli/json_forms.h"
#include "cli/terminal_text.h"
#include "cli/upgrade_interruption.h"
#include "cli/write_history.h"
#include "device/device_text_forms.h"
#include "device/write_verification.h"
#include "link/settings_block.h"
#include "update/history_recording.h"
#include "update/serial_number_base.h"
#include "update/update_config.h"
#include "update/upgrade_workflow.h"

#include <QElapsedTimer>

#include <memory>

namespace verimant::cli {

namespace {

// The pieces of one upgrade or check, answered from the command line.
class CliUpgrade {
public:
    explicit CliUpgrade(CliRun& cli)
        : cli_(cli),
          update_(cli),
          packets_(cli.options().value(QStringLiteral("packet")),
                   cli.options().value(QStringLiteral("language")), cli.dialogs()),
          languages_(cli.options().value(QStringLiteral("language")), cli.dialogs()),
          parts_{cli.session(), settings_, update_.run(),     packets_, languages_,
                 busy_,         {},        cli.writeOptions()} {
        parts_.allowDowngrade = [this](const QString& downgrades) {
            return allowDowngrade(downgrades);
        };
        parts_.reinstall = [this] { return reinstallDecision(); };
    }

    // The update side, and a --language that the catalogue knows: a mistyped one is caught
    // before the instrument is touched.
    int prepare() {
        noteGivenPacket();
        if (!update_.prepare()) {
            return kExitFailure;
        }
        const QString language = cli_.options().value(QStringLiteral("language"));
        if (!language.isEmpty() &&
            !catalogHasLanguage(update_.run().config().languageCatalog(), language)) {
            cli_.dialogs().showError(
                QStringLiteral("--language %1 is neither a key nor a code of the language "
                               "catalogue")
                    .arg(language));
            return kExitUsage;
        }
        // Known to the catalogue but in no packet that could be chosen: refused before the
        // instrument is read and before any firmware is downloaded.
        const QString outside = languageOutsidePackets(
            update_.run().config(), language, cli_.options().value(QStringLiteral("packet")));
        if (!language.isEmpty() && !outside.isEmpty()) {
            cli_.dialogs().showError(outside);
            return kExitUsage;
        }
        return kExitSuccess;
    }

    UpgradeOutcome upgrade(HistoryRecording& recording) {
        // Mode switches wait for the connection manager to find the restarted instrument.
        cli_.watchLink(true);
        const UpgradeOutcome outcome = runRecordedUpgrade(parts_, recording, &found_);
        cli_.watchLink(false);
        noteFound(found_);
        return outcome;
    }

    // Only a language the operator asked for makes its failed write the run's failure.
    bool askedLanguageFailed() const {
        return !cli_.options().value(QStringLiteral("language")).isEmpty() &&
               found_.languageWriteFailed;
    }

    // What the readout and the check learnt, as far as the run got; the instrument's serial only
    // after a readout, and the changes only once the firmware set was loaded.
    void noteFound(const UpgradeCheck& found) {
        const DeviceInfo& info = update_.run().deviceInfo();
        JsonResult& json = cli_.json();
        json.set(QStringLiteral("port"), cli_.options().port);
        if (info.valid) {
            json.set(QStringLiteral("serial"), serialText(info.boardRecord));
        }
        if (!found.packet.isEmpty()) {
            json.set(QStringLiteral("packet"), found.packet);
        }
        upToDate_ = !found.section.isEmpty() && found.differences.isEmpty();
        if (!found.section.isEmpty()) {
            const FirmwareSet& set = update_.run().config().firmwareSet();
            DeviceInfo before = info;
            before.programInfo.mainVersion = found.mainVersionBefore;
            before.eflVersion = found.eflVersionBefore;
            const QJsonArray changes =
                upgradeChangesJson(before, set.kmt2.versionCode, set.efl.versionCode);
            json.set(QStringLiteral("firmware_set"), found.section);
            json.set(QStringLiteral("changes"), changes);
            json.set(QStringLiteral("up_to_date"), changes.isEmpty());
        }
    }

    QString chosenLanguage() const { return languages_.chosenKey(); }

    // A refusal still names the port and the packet the operator asked for; the chosen packet
    // replaces it once known. The instrument does not report which packet it holds, so nothing
    // here can know.
    void noteGivenPacket() {
        cli_.json().set(QStringLiteral("port"), cli_.options().port);
        const QString given = cli_.options().value(QStringLiteral("packet"));
        if (!given.isEmpty()) {
            cli_.json().set(QStringLiteral("packet"), given);
        }
        cli_.json().set(QStringLiteral("packet_known"), false);
    }

    // --yes consents to an update; writing the same versions again wears the flash and takes a
    // fleet's time for nothing, so that needs --reinstall. The question stays for a terminal.
    ReinstallDecision reinstallDecision() {
        if (cli_.options().isSet(QStringLiteral("reinstall"))) {
            cli_.log().AddLine(QStringLiteral("REINSTALL (--reinstall)"));
            return ReinstallDecision::Reinstall;
        }
        if (!cli_.options().assumeYes) {
            return ReinstallDecision::Ask;
        }
        cli_.log().AddLine(QStringLiteral("UP TO DATE : nothing written (--reinstall writes)"));
        cli_.dialogs().showInformation(
            QStringLiteral("the instrument already has the set's versions: nothing was written. "
                           "--yes consents to an update only; --reinstall writes the set again "
                           "(also to put another packet on at the same versions: the instrument "
                           "does not report which one it holds)"));
        return ReinstallDecision::LeaveAsIs;
    }

    // A question without a terminal to ask it on was answered No; the operator must learn that
    // an option answers it, not only that the run failed.
    void explainUnansweredConsent() {
        cli_.dialogs().showError(
            upToDate_ ? QStringLiteral("the instrument already has the set's versions and the "
                                       "question whether to reinstall them needed an answer, but "
                                       "standard input is no terminal to ask on: pass "
                                       "--reinstall to write them again")
                      : QStringLiteral("the upgrade needed an answer to its question, but "
                                       "standard input is no terminal to ask on: pass --yes to "
                                       "consent to the update"));
    }

    // A script's --yes consents to an update; taking an instrument back to older firmware is a
    // decision of its own, as with other firmware tools.
    bool allowDowngrade(const QString& downgrades) {
        if (cli_.options().isSet(QStringLiteral("allow-downgrade"))) {
            cli_.log().AddLine(QStringLiteral("DOWNGRADE ALLOWED (--allow-downgrade) : ") +
                               downgrades);
            return true;
        }
        cli_.dialogs().showError(
            QStringLiteral("the set is older than the instrument's firmware (%1): a downgrade "
                           "needs --allow-downgrade; --yes does not consent to it")
                .arg(downgrades));
        return false;
    }

    // As the window does when it closes, whatever stopped the run; only a run without its own
    // folder has nowhere safe to write the report.
    void uploadReport() {
        if (update_.folderPath().isEmpty()) {
            return;
        }
        if (!update_.uploadReport()) {
            cli_.dialogs().showWarning(
                QStringLiteral("the log could not be appended to the instrument's report at %1")
                    .arg(sourceDescription(update_.run().source())));
        }
    }

    QString folderPath() const { return update_.folderPath(); }
    bool languageRefused() const { return packets_.languageRefused(); }
    bool packetUnanswered() const { return packets_.unanswered(); }

    UpgradeOutcome check(UpgradeCheck& found) {
        const UpgradeOutcome outcome = checkUpgrade(parts_, found);
        noteFound(found);
        return outcome;
    }

    void printCheck(const UpgradeCheck& found) {
        const DeviceInfo& info = update_.run().deviceInfo();
        const InstrumentRecord& record = update_.run().currentRecord();
        const FirmwareSet& set = update_.run().config().firmwareSet();
        const QStringList lines{
            QStringLiteral("instrument: %1, %2, model '%3', KMT2 %4, EFL %5")
                .arg(serialText(info.boardRecord), boardText(info.boardRecord), info.modelName,
                     versionText(info.programInfo.mainVersion), versionText(info.eflVersion)),
            QStringLiteral("record: board %1, board version %2, language set %3")
                .arg(record.boardNumber)
                .arg(record.boardVersion)
                .arg(record.languageSet),
            QStringLiteral("packet: %1").arg(found.packet),
            QStringLiteral("firmware set: %1: KMT2 %2 (%3), EFL %4 (%5)")
                .arg(found.section, versionText(set.kmt2.versionCode), set.kmt2.fileName,
                     versionText(set.efl.versionCode), set.efl.fileName),
            found.differences.isEmpty()
                ? QStringLiteral("up to date: the instrument has the set's versions\n"
                                 "the instrument does not report which packet it holds, so "
                                 "\"up to date\" covers the versions only")
                : QStringLiteral("changes:") + found.differences.split(QLatin1Char('\n'))
                                                   .join(QStringLiteral("\n  "))
                                                   .prepend(QLatin1Char(' ')),
        };
        cli_.dialogs().endProgressLine();
        for (const QString& line : lines) {
            std::fprintf(cli_.out(), "%s\n", terminalText(line).constData());
        }
        std::fflush(cli_.out());
    }

private:
    CliRun& cli_;
    CliUpdateSide update_;
    SettingsBlock settings_;
    CliPacketChooser packets_;
    CliLanguageChooser languages_;
    QuietBusyView busy_;
    UpgradeParts parts_;
    UpgradeCheck found_;
    bool upToDate_ = false;
};

// A "No" to the consent question is the operator's cancel, like a cancelled packet choice.
const char* outcomeName(UpgradeOutcome outcome) {
    switch (outcome) {
        case UpgradeOutcome::Written:
            return "written";
        case UpgradeOutcome::UpToDate:
            return "up_to_date";
        case UpgradeOutcome::Refused:
            return "refused";
        case UpgradeOutcome::Cancelled:
        case UpgradeOutcome::Declined:
            return "cancelled";
        case UpgradeOutcome::Checked:
        case UpgradeOutcome::WriteFailed:
            break;
    }
    return "failed";
}

int upgradeResult(CliRun& cli, CliUpgrade& upgrade, JsonResult& json, HistoryRecording& recording) {
    json.set(QStringLiteral("result"), "failed");
    const int prepared = upgrade.prepare();
    if (prepared == kExitUsage) {
        // A --language the configuration rules out, found before the instrument is read.
        json.set(QStringLiteral("result"), "refused");
    }
    if (prepared != kExitSuccess || UpgradeInterruption::requested()) {
        return prepared != kExitSuccess ? prepared : kExitFailure;
    }
    // Only both files written count; a refusal, a cancel, a No or a failed write all end here.
    clearReadBackFinding();
    const UpgradeOutcome outcome = upgrade.upgrade(recording);
    // A packet choice nobody could answer is documented with the unanswered questions.
    json.set(QStringLiteral("result"),
             upgrade.packetUnanswered() ? "cancelled" : outcomeName(outcome));
    const QString language = upgrade.chosenLanguage();
    json.set(QStringLiteral("language"), language.isEmpty() ? QJsonValue() : language);
    if (upgrade.languageRefused()) {
        json.set(QStringLiteral("result"), "refused");
        return kExitUsage;
    }
    if (outcome == UpgradeOutcome::UpToDate) {
        return kExitSuccess;
    }
    if (outcome == UpgradeOutcome::Declined && cli.dialogs().questionUnanswered()) {
        upgrade.explainUnansweredConsent();
    }
    if (outcome != UpgradeOutcome::Written) {
        reportReadBackFinding(cli);
        return kExitFailure;
    }
    if (!language.isEmpty()) {
        json.set(QStringLiteral("language_written"), !upgrade.askedLanguageFailed());
    }
    if (upgrade.askedLanguageFailed()) {
        json.set(QStringLiteral("result"), "failed");
        json.set(QStringLiteral("failed_step"), "language");
        cli.dialogs().showError(
            QStringLiteral("both images were written, but the display language was not set"));
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace

int runUpgradeCommand(CliRun& run, const QStringList&) {
    if (run.options().isSet(QStringLiteral("all"))) {
        return runUpgradeAllCommand(run);
    }
    QElapsedTimer clock;
    clock.start();
    WriteHistory history(run, QStringLiteral("upgrade"), QString());
    auto upgrade = std::make_unique<CliUpgrade>(run);
    const UpgradeInterruption interruption;
    int result = upgradeResult(run, *upgrade, run.json(), history.recording());
    if (UpgradeInterruption::requested()) {
        run.json().set(QStringLiteral("result"), "cancelled");
        run.log().AddLine(QStringLiteral("UPGRADE STOPPED BY USER (Ctrl-C)"));
        run.dialogs().showError(
            QStringLiteral("the upgrade was stopped on Ctrl-C; the log says how far it got"));
        result = kExitFailure;
    }
    upgrade->uploadReport();
    // The folder goes before Ctrl-C gets its usual meaning back.
    upgrade.reset();
    run.json().set(QStringLiteral("seconds"), double(clock.elapsed()) / 1000.0);
    run.json().set(QStringLiteral("versions_before"), history.row().versionsBefore);
    run.json().set(QStringLiteral("versions_after"), history.row().versionsAfter);
    history.finish();
    return result;
}

int runCheckCommand(CliRun& run, const QStringList&) {
    CliUpgrade upgrade(run);
    const int prepared = upgrade.prepare();
    if (prepared != kExitSuccess) {
        return prepared;
    }
    UpgradeCheck found;
    if (upgrade.check(found) != UpgradeOutcome::Checked) {
        return upgrade.languageRefused() ? kExitUsage : kExitFailure;
    }
    upgrade.printCheck(found);
    return kExitSuccess;
}

}  // namespace verimant::cli
