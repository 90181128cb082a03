#include "update/run_history.h"

#include "platform/process_identity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QVariant>

#include <atomic>

namespace verimant {

namespace {

// Long enough for every other process's insert or update to end; each takes milliseconds.
constexpr int kBusyTimeoutMs = 15000;

// SQLite's codes for a file that is not, or no longer, a database.
bool isDamageError(const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("11") || code == QLatin1String("26");
}

QString timeText(const QDateTime& time) {
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QDateTime timeFrom(const QVariant& value) {
    const QString text = value.toString();
    return text.isEmpty() ? QDateTime() : QDateTime::fromString(text, Qt::ISODateWithMs);
}

const char kCreateTable[] =
    "CREATE TABLE IF NOT EXISTS runs ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " started TEXT NOT NULL, ended TEXT, kind TEXT NOT NULL,"
    " operator TEXT, machine TEXT, pid INTEGER, port INTEGER,"
    " serial TEXT, uid TEXT, versions_before TEXT, versions_after TEXT,"
    " packet TEXT, language TEXT, source TEXT, signing_key TEXT,"
    " result TEXT NOT NULL, failure TEXT, seconds REAL, verified INTEGER)";

HistoryRow rowFrom(const QSqlQuery& query) {
    HistoryRow row;
    row.id = query.value("id").toLongLong();
    row.started = timeFrom(query.value("started"));
    row.ended = timeFrom(query.value("ended"));
    row.kind = query.value("kind").toString();
    row.operatorName = query.value("operator").toString();
    row.machine = query.value("machine").toString();
    row.pid = query.value("pid").toLongLong();
    row.port = query.value("port").isNull() ? -1 : query.value("port").toInt();
    row.serial = query.value("serial").toString();
    row.uid = query.value("uid").toString();
    row.versionsBefore = query.value("versions_before").toString();
    row.versionsAfter = query.value("versions_after").toString();
    row.packet = query.value("packet").toString();
    row.language = query.value("language").toString();
    row.source = query.value("source").toString();
    row.signingKey = query.value("signing_key").toString();
    row.result = query.value("result").toString();
    row.failure = query.value("failure").toString();
    row.seconds = query.value("seconds").toDouble();
    row.verified = query.value("verified").toBool();
    return row;
}

QVariant portValue(int port) {
    return port < 0 ? QVariant() : QVariant(port);
}

}  // namespace

QString RunHistory::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/verimant-manager/history.sqlite");
}

RunHistory::RunHistory(QString path) : path_(std::move(path)) {
    static std::atomic<int> serial{0};
    connection_ = QStringLiteral("verimant-history-%1").arg(++serial);
}

RunHistory::~RunHistory() {
    closeConnection();
}

void RunHistory::closeConnection() {
    if (QSqlDatabase::contains(connection_)) {
        QSqlDatabase::database(connection_, false).close();
        QSqlDatabase::removeDatabase(connection_);
    }
}

bool RunHistory::openConnection() {
    QSqlDatabase db = QSqlDatabase::contains(connection_)
                          ? QSqlDatabase::database(connection_, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    if (!db.isValid()) {
        problem_ = QStringLiteral("the SQLite driver of Qt is missing (libqt6sql6-sqlite)");
        return false;
    }
    db.setDatabaseName(path_);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.open()) {
        problem_ = QStringLiteral("%1: %2").arg(path_, db.lastError().text());
        return false;
    }
    return true;
}

// Whether the file is a database this version may write into. A busy database is not a damaged
// one: only SQLite's own verdict, or a schema from a newer tool, sets a file aside.
bool RunHistory::usable(QString* reason) {
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    if (!query.exec(QStringLiteral("PRAGMA quick_check"))) {
        *reason = query.lastError().text();
        return !isDamageError(query.lastError());
    }
    if (query.next() && query.value(0).toString() != QLatin1String("ok")) {
        *reason = QStringLiteral("integrity check: ") + query.value(0).toString();
        return false;
    }
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        *reason = query.lastError().text();
        return !isDamageError(query.lastError());
    }
    const int version = query.value(0).toInt();
    if (version > kSchemaVersion) {
        *reason = QStringLiteral(
                      "written by a newer version of the tool (schema %1, this one "
                      "knows %2)")
                      .arg(version)
                      .arg(kSchemaVersion);
        return false;
    }
    reason->clear();
    return true;
}

bool RunHistory::setAside(const QString& reason, const QString& label) {
    closeConnection();
    const QString aside =
        QStringLiteral("%1.%2-%3")
            .arg(path_, label,
                 QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    if (!QFile::rename(path_, aside)) {
        problem_ = QStringLiteral("%1 cannot be used (%2) and cannot be moved aside to %3")
                       .arg(path_, reason, aside);
        return false;
    }
    // The journal files belong to the old database; a new one must not replay them.
    for (const char* suffix : {"-wal", "-shm"}) {
        if (QFile::exists(path_ + QLatin1String(suffix))) {
            QFile::rename(path_ + QLatin1String(suffix), aside + QLatin1String(suffix));
        }
    }
    notice_ = QStringLiteral(
                  "the run history %1 cannot be used (%2): it was kept as %3 and a new "
                  "history was started")
                  .arg(path_, reason, aside);
    return true;
}

bool RunHistory::createSchema() {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery query(db);
    // WAL lets readers and one writer work at once; the schema is made under the write lock, so
    // two first runs cannot both lay it out.
    if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
        !query.exec(QStringLiteral("BEGIN IMMEDIATE")) ||
        !query.exec(QString::fromLatin1(kCreateTable)) ||
        !query.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS runs_by_serial ON runs (serial)")) ||
        !query.exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion)) ||
        !query.exec(QStringLiteral("COMMIT"))) {
        problem_ = QStringLiteral("%1: %2").arg(path_, query.lastError().text());
        query.exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    return true;
}

bool RunHistory::open() {
    problem_.clear();
    notice_.clear();
    if (!QDir().mkpath(QFileInfo(path_).absolutePath())) {
        problem_ = QStringLiteral("%1: the folder cannot be made").arg(path_);
        return false;
    }
    if (!openConnection()) {
        return false;
    }
    QString reason;
    if (!usable(&reason)) {
        const bool newer = reason.startsWith(QLatin1String("written by a newer"));
        if (!setAside(reason, newer ? QStringLiteral("newer") : QStringLiteral("damaged")) ||
            !openConnection()) {
            return false;
        }
    } else if (!reason.isEmpty()) {
        problem_ = QStringLiteral("%1: %2").arg(path_, reason);
        return false;
    }
    if (!createSchema()) {
        return false;
    }
    markInterrupted();
    return true;
}

// A process that ended without completing its row crashed, was killed or lost its machine's
// power: its run stopped somewhere unknown, which the row must say rather than "running".
void RunHistory::markInterrupted() {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery select(db);
    select.prepare(
        QStringLiteral("SELECT id, pid FROM runs WHERE result = 'running' AND "
                       "machine = ?"));
    select.addBindValue(currentMachineName());
    if (!select.exec()) {
        return;
    }
    QList<qint64> gone;
    while (select.next()) {
        if (!processAlive(select.value(1).toLongLong())) {
            gone << select.value(0).toLongLong();
        }
    }
    for (const qint64 id : gone) {
        QSqlQuery update(db);
        update.prepare(
            QStringLiteral("UPDATE runs SET result = 'interrupted' WHERE id = ? AND "
                           "result = 'running'"));
        update.addBindValue(id);
        update.exec();
    }
}

bool RunHistory::begin(HistoryRow& row) {
    row.started = QDateTime::currentDateTimeUtc();
    row.operatorName = currentUserName();
    row.machine = currentMachineName();
    row.pid = currentProcessId();
    row.result = QStringLiteral("running");
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.prepare(QStringLiteral(
        "INSERT INTO runs (started, kind, operator, machine, pid, port, serial, uid, "
        "versions_before, packet, language, source, signing_key, result, verified) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant& value :
         {QVariant(timeText(row.started)), QVariant(row.kind), QVariant(row.operatorName),
          QVariant(row.machine), QVariant(row.pid), portValue(row.port), QVariant(row.serial),
          QVariant(row.uid), QVariant(row.versionsBefore), QVariant(row.packet),
          QVariant(row.language), QVariant(row.source), QVariant(row.signingKey),
          QVariant(row.result), QVariant(row.verified)}) {
        query.addBindValue(value);
    }
    if (!query.exec()) {
        problem_ = QStringLiteral("%1: %2").arg(path_, query.lastError().text());
        return false;
    }
    row.id = query.lastInsertId().toLongLong();
    return true;
}

bool RunHistory::note(const HistoryRow& row) {
    return store(row, false);
}

bool RunHistory::finish(const HistoryRow& row) {
    return store(row, true);
}

bool RunHistory::store(const HistoryRow& row, bool completed) {
    const QDateTime ended =
        !completed ? QDateTime()
                   : (row.ended.isValid() ? row.ended : QDateTime::currentDateTimeUtc());
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.prepare(QStringLiteral(
        "UPDATE runs SET ended = ?, port = ?, serial = ?, uid = ?, versions_before = ?, "
        "versions_after = ?, packet = ?, language = ?, source = ?, signing_key = ?, result = ?, "
        "failure = ?, seconds = ?, verified = ? WHERE id = ?"));
    for (const QVariant& value :
         {completed ? QVariant(timeText(ended)) : QVariant(), portValue(row.port),
          QVariant(row.serial), QVariant(row.uid), QVariant(row.versionsBefore),
          QVariant(row.versionsAfter), QVariant(row.packet), QVariant(row.language),
          QVariant(row.source), QVariant(row.signingKey),
          QVariant(completed ? row.result : QStringLiteral("running")), QVariant(row.failure),
          QVariant(row.seconds), QVariant(row.verified), QVariant(row.id)}) {
        query.addBindValue(value);
    }
    if (!query.exec() || query.numRowsAffected() != 1) {
        problem_ = QStringLiteral("%1: %2").arg(path_, query.lastError().text());
        return false;
    }
    return true;
}

QList<HistoryRow> RunHistory::rows(const HistoryFilter& filter) {
    QString sql = QStringLiteral("SELECT * FROM runs WHERE 1 = 1");
    if (!filter.serial.isEmpty()) {
        sql += QStringLiteral(" AND serial = :serial");
    }
    if (filter.since.isValid()) {
        sql += QStringLiteral(" AND started >= :since");
    }
    sql += QStringLiteral(" ORDER BY started DESC, id DESC");
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.prepare(sql);
    if (!filter.serial.isEmpty()) {
        query.bindValue(QStringLiteral(":serial"), filter.serial);
    }
    if (filter.since.isValid()) {
        query.bindValue(QStringLiteral(":since"), timeText(filter.since));
    }
    QList<HistoryRow> found;
    if (!query.exec()) {
        problem_ = QStringLiteral("%1: %2").arg(path_, query.lastError().text());
        return found;
    }
    while (query.next()) {
        found << rowFrom(query);
    }
    return found;
}

}  // namespace verimant
