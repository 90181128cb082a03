#include "cli/write_history.h"

#include "cli/cli_run.h"
#include "device/device_text_forms.h"

namespace verimant::cli {

WriteHistory::WriteHistory(CliRun& run, const QString& kind, const QString& source)
    : run_(run), recording_(run.log(), historyKind(kind), run.options().port) {
    row().source = source;
    row().verified = run.writeOptions().verify;
    recording_.begin();
}

void WriteHistory::finish() {
    const JsonResult& json = run_.json();
    HistoryRow& entry = row();
    const QString serial = json.value(QStringLiteral("serial")).toString();
    if (!serial.isEmpty()) {
        entry.serial = serial;
    }
    const QString language = json.value(QStringLiteral("language")).toString();
    if (!language.isEmpty()) {
        entry.language = language;
    }
    const QString result = json.value(QStringLiteral("result")).toString();
    const QString step = json.value(QStringLiteral("failed_step")).toString();
    if (result != QLatin1String("written")) {
        entry.failure = !step.isEmpty() ? step : json.firstError();
    }
    // A writer that fails its read-back says so only in the log: the write was the step.
    const QString part = json.value(QStringLiteral("part")).toString();
    if (result != QLatin1String("written") && entry.failure.isEmpty() && !part.isEmpty()) {
        entry.failure = part + QStringLiteral(" write");
    }
    recording_.finish(result.isEmpty() ? QStringLiteral("failed") : result);
}

void WriteHistory::noteIdentity(const std::optional<InstrumentIdentity>& identity) {
    if (identity) {
        row().serial = serialText(identity->boardRecord);
        row().uid = uidText(identity->uid);
        recording_.note();
    }
}

QString historyKind(const QString& kind) {
    // Set by 'upgrade --all' for the processes it starts, one per instrument.
    const QString worker = qEnvironmentVariable("VERIMANT_HISTORY_KIND");
    return worker.isEmpty() ? kind : worker;
}

}  // namespace verimant::cli
