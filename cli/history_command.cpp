#include "cli/cli_command.h"
#include "cli/cli_commands.h"
#include "cli/cli_run.h"
#include "cli/terminal_text.h"
#include "update/run_history.h"

#include <QJsonArray>
#include <QJsonObject>

namespace verimant::cli {

namespace {

// A day is taken from local midnight; a time in ISO form as it stands (local unless it says).
QDateTime parseSince(const QString& text) {
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (day.isValid()) {
        return day.startOfDay();
    }
    return QDateTime::fromString(text, Qt::ISODate);
}

QString timeText(const QDateTime& time) {
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                          : QString();
}

struct Column {
    const char* name;
    QString (*text)(const HistoryRow& row);
};

const QList<Column>& columns() {
    static const QList<Column> table = {
        {"started", [](const HistoryRow& r) { return timeText(r.started); }},
        {"ended", [](const HistoryRow& r) { return timeText(r.ended); }},
        {"kind", [](const HistoryRow& r) { return r.kind; }},
        {"operator", [](const HistoryRow& r) { return r.operatorName; }},
        {"machine", [](const HistoryRow& r) { return r.machine; }},
        {"port",
         [](const HistoryRow& r) { return r.port < 0 ? QString() : QString::number(r.port); }},
        {"serial", [](const HistoryRow& r) { return r.serial; }},
        {"uid", [](const HistoryRow& r) { return r.uid; }},
        {"versions_before", [](const HistoryRow& r) { return r.versionsBefore; }},
        {"versions_after", [](const HistoryRow& r) { return r.versionsAfter; }},
        {"packet", [](const HistoryRow& r) { return r.packet; }},
        {"language", [](const HistoryRow& r) { return r.language; }},
        {"source", [](const HistoryRow& r) { return r.source; }},
        {"signing_key", [](const HistoryRow& r) { return r.signingKey; }},
        {"result", [](const HistoryRow& r) { return r.result; }},
        {"failure", [](const HistoryRow& r) { return r.failure; }},
        {"seconds", [](const HistoryRow& r) { return QString::number(r.seconds, 'f', 1); }},
        {"verified",
         [](const HistoryRow& r) {
             return r.verified ? QStringLiteral("yes") : QStringLiteral("no");
         }},
    };
    return table;
}

QJsonObject rowJson(const HistoryRow& row) {
    QJsonObject object;
    for (const Column& column : columns()) {
        object.insert(QLatin1String(column.name), column.text(row));
    }
    object.insert(QStringLiteral("started"), row.started.toUTC().toString(Qt::ISODateWithMs));
    object.insert(QStringLiteral("ended"),
                  row.ended.isValid() ? QJsonValue(row.ended.toUTC().toString(Qt::ISODateWithMs))
                                      : QJsonValue());
    object.insert(QStringLiteral("port"), row.port < 0 ? QJsonValue() : QJsonValue(row.port));
    object.insert(QStringLiteral("seconds"), row.seconds);
    object.insert(QStringLiteral("verified"), row.verified);
    return object;
}

// RFC 4180: a field with a comma, quote or line break is quoted, its quotes doubled.
QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))) {
        return text;
    }
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

void printCsv(std::FILE* out, const QList<HistoryRow>& rows) {
    QStringList header;
    for (const Column& column : columns()) {
        header << QLatin1String(column.name);
    }
    std::fprintf(out, "%s\r\n", header.join(QLatin1Char(',')).toUtf8().constData());
    for (const HistoryRow& row : rows) {
        QStringList fields;
        for (const Column& column : columns()) {
            fields << csvField(column.text(row));
        }
        std::fprintf(out, "%s\r\n", fields.join(QLatin1Char(',')).toUtf8().constData());
    }
}

void printTable(std::FILE* out, const QList<HistoryRow>& rows) {
    std::fprintf(out, "%-19s %-13s %4s %-12s %-22s %-22s %-11s %7s\n", "started", "kind", "port",
                 "serial", "before", "after", "result", "seconds");
    for (const HistoryRow& row : rows) {
        std::fprintf(out, "%-19s %-13s %4s %-12s %-22s %-22s %-11s %7.1f%s\n",
                     timeText(row.started).toUtf8().constData(), row.kind.toUtf8().constData(),
                     row.port < 0 ? "" : QByteArray::number(row.port).constData(),
                     row.serial.toUtf8().constData(), row.versionsBefore.toUtf8().constData(),
                     row.versionsAfter.toUtf8().constData(), row.result.toUtf8().constData(),
                     row.seconds,
                     // One line a row: a failure of several lines is joined.
                     row.failure.isEmpty()
                         ? ""
                         : (QStringLiteral("  ") + row.failure.simplified()).toUtf8().constData());
    }
}

QString checkHistoryOptions(const CliOptions& options) {
    if (options.isSet(QStringLiteral("since")) &&
        !parseSince(options.value(QStringLiteral("since"))).isValid()) {
        return QStringLiteral(
                   "--since needs a date (2026-12-08) or a time (2026-12-08T14:30), "
                   "not '%1'")
            .arg(options.value(QStringLiteral("since")));
    }
    if (options.isSet(QStringLiteral("csv")) && options.isSet(QStringLiteral("json"))) {
        return QStringLiteral("--csv and --json exclude each other");
    }
    return {};
}

}  // namespace

int runHistoryCommand(CliRun& run, const QStringList&) {
    const QString problem = checkHistoryOptions(run.options());
    if (!problem.isEmpty()) {
        run.dialogs().showError(problem);
        return kExitUsage;
    }
    RunHistory history;
    if (!history.open()) {
        run.dialogs().showError(QStringLiteral("the run history cannot be read: ") +
                                history.problem());
        return kExitFailure;
    }
    if (!history.notice().isEmpty()) {
        run.dialogs().showWarning(history.notice());
    }
    HistoryFilter filter;
    filter.serial = run.options().value(QStringLiteral("serial"));
    filter.since = parseSince(run.options().value(QStringLiteral("since")));
    const QList<HistoryRow> rows = history.rows(filter);
    QJsonArray runs;
    for (const HistoryRow& row : rows) {
        runs.append(rowJson(row));
    }
    run.json().set(QStringLiteral("database"), history.path());
    run.json().set(QStringLiteral("runs"), runs);
    if (run.jsonWanted()) {
        return kExitSuccess;
    }
    if (run.options().isSet(QStringLiteral("csv"))) {
        printCsv(run.out(), rows);
    } else {
        printTable(run.out(), rows);
    }
    std::fflush(run.out());
    return kExitSuccess;
}

}  // namespace verimant::cli
