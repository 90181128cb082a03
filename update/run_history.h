#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

namespace verimant {

// One upgrade or one firmware write, as the history keeps it.
struct HistoryRow {
    qint64 id = 0;
    QDateTime started;
    QDateTime ended;  // invalid while running
    QString kind;     // "upgrade", "upgrade --all", "window upgrade", "write-kmt2", "write-efl"
    QString operatorName;
    QString machine;
    qint64 pid = 0;
    int port = -1;
    QString serial;
    QString uid;
    QString versionsBefore;  // "KMT2 1.02, EFL 1.01"
    QString versionsAfter;
    QString packet;
    QString language;
    QString source;  // the update server, the set's folder, or the written file
    QString signingKey;
    // "running", "written", "failed", "refused", "cancelled", or "interrupted" for a run whose
    // process ended without completing its row.
    QString result;
    QString failure;  // the failing step, else the first error the run showed
    double seconds = 0;
    bool verified = false;
};

struct HistoryFilter {
    QString serial;   // empty: every instrument
    QDateTime since;  // invalid: from the beginning
};

// The local record of every run, shared by the window and every verimant-cli process of the
// user: a SQLite database in WAL mode with a busy timeout, so several processes write at once
// without losing a row. A row is inserted when the run starts and completed at its end; a row
// left "running" by a process that no longer exists reads "interrupted".
//
// A database that cannot be read, or that a newer version of the tool laid out, is never written
// over: it is moved aside and a new one started, and notice() says where it went.
class RunHistory {
public:
    static constexpr int kSchemaVersion = 1;

    // $XDG_DATA_HOME/verimant-manager/history.sqlite (~/.local/share without XDG_DATA_HOME).
    static QString defaultPath();

    explicit RunHistory(QString path = defaultPath());
    ~RunHistory();
    RunHistory(const RunHistory&) = delete;
    RunHistory& operator=(const RunHistory&) = delete;

    // Opens or creates the database. False, with problem(), when it cannot be used at all.
    bool open();
    const QString& problem() const { return problem_; }
    // Non-empty when a damaged or newer database was moved aside by open().
    const QString& notice() const { return notice_; }
    const QString& path() const { return path_; }

    // Inserts `row` as running, stamped with this process, user and machine; fills its id and
    // start. False when the row could not be written.
    bool begin(HistoryRow& row);
    // Stores what the run has learnt so far (instrument, versions before) while it goes on, so
    // that a run that dies later still tells which instrument it was working on.
    bool note(const HistoryRow& row);
    // Completes the row begin() inserted: end time and everything the run learnt.
    bool finish(const HistoryRow& row);

    // The rows that match, newest first.
    QList<HistoryRow> rows(const HistoryFilter& filter = {});

private:
    bool openConnection();
    bool usable(QString* reason);
    bool createSchema();
    void markInterrupted();
    bool setAside(const QString& reason, const QString& label);
    void closeConnection();
    bool store(const HistoryRow& row, bool completed);

    QString path_;
    QString connection_;
    QString problem_;
    QString notice_;
};

}  // namespace verimant
