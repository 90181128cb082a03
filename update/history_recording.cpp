#include "update/history_recording.h"

#include "base/activity_log.h"
#include "device/device_info.h"
#include "device/device_text_forms.h"
#include "update/update_run.h"
#include "update/update_source.h"

namespace verimant {

HistoryRecording::HistoryRecording(ActivityLog& log, QString kind, int port, QString path)
    : log_(log), history_(std::move(path)) {
    row_.kind = std::move(kind);
    row_.port = port;
}

void HistoryRecording::logProblem() {
    log_.AddLine(QStringLiteral("RUN HISTORY NOT WRITTEN : ") + history_.problem());
}

void HistoryRecording::begin() {
    clock_.start();
    opened_ = history_.open();
    if (!history_.notice().isEmpty()) {
        log_.AddLine(QStringLiteral("RUN HISTORY : ") + history_.notice());
    }
    if (!opened_ || !history_.begin(row_)) {
        opened_ = false;
        logProblem();
    }
}

void HistoryRecording::note() {
    if (opened_ && !history_.note(row_)) {
        logProblem();
    }
}

void HistoryRecording::finish(const QString& result) {
    if (!opened_) {
        return;
    }
    row_.result = result;
    row_.seconds = double(clock_.elapsed()) / 1000.0;
    row_.ended = QDateTime::currentDateTimeUtc();
    if (!history_.finish(row_)) {
        logProblem();
    }
}

QString versionsText(const DeviceInfo& info) {
    const QString main = info.programInfo.mainVersion != 0
                             ? versionText(info.programInfo.mainVersion)
                             : QStringLiteral("?");
    const QString efl = info.eflVersionRead ? versionText(info.eflVersion) : QStringLiteral("?");
    return QStringLiteral("KMT2 %1, EFL %2").arg(main, efl);
}

QString historyResult(UpgradeOutcome outcome) {
    switch (outcome) {
        case UpgradeOutcome::Written:
            return QStringLiteral("written");
        case UpgradeOutcome::Refused:
            return QStringLiteral("refused");
        case UpgradeOutcome::Cancelled:
        case UpgradeOutcome::Declined:
            return QStringLiteral("cancelled");
        case UpgradeOutcome::UpToDate:
            return QStringLiteral("up_to_date");
        case UpgradeOutcome::Checked:
        case UpgradeOutcome::WriteFailed:
            break;
    }
    return QStringLiteral("failed");
}

UpgradeOutcome runRecordedUpgrade(UpgradeParts& parts, HistoryRecording& recording,
                                  UpgradeCheck* check) {
    HistoryRow& row = recording.row();
    const auto shown = parts.showDeviceInfo;
    bool firstReadout = true;
    parts.showDeviceInfo = [&](const DeviceInfo& info) {
        if (firstReadout && info.valid) {
            row.serial = serialText(info.boardRecord);
            row.uid = uidText(info.uid);
            row.versionsBefore = versionsText(info);
            firstReadout = false;
            recording.note();
        } else if (!firstReadout) {
            row.versionsAfter = versionsText(info);
        }
        if (shown) {
            shown(info);
        }
    };
    row.source = parts.run.source().displayText();
    row.verified = parts.writeOptions.verify;
    recording.note();
    UpgradeCheck found;
    UpgradeCheck& result = check != nullptr ? *check : found;
    const UpgradeOutcome outcome = runUpgradeWorkflow(parts, &result);
    parts.showDeviceInfo = shown;
    row.packet = result.packet;
    row.signingKey = parts.run.configKeyId();
    return outcome;
}

}  // namespace verimant
