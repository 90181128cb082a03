#pragma once

#include <QList>
#include <QString>

namespace verimant {

// Reports that could not be delivered, kept in the order they were made until the server has
// confirmed each one: "NNNNNNNN.report" holds the report, "NNNNNNNN.path" the remote path it is
// for (written last, so a half-kept entry is never sent). The folder is private to the user.
class ReportOutbox {
public:
    struct Entry {
        QString reportFile;
        QString remotePath;
    };

    explicit ReportOutbox(QString folder = defaultFolder()) : folder_(std::move(folder)) {}

    // $XDG_DATA_HOME/verimant-manager/outbox (~/.local/share/... without it).
    static QString defaultFolder();
    const QString& folder() const { return folder_; }

    // Keeps a copy of `reportFile` for `remotePath` after every entry already waiting.
    bool keep(const QString& remotePath, const QString& reportFile);
    // Every complete entry, oldest first.
    QList<Entry> waiting() const;
    // Drops an entry once the server confirmed it.
    bool remove(const Entry& entry) const;

private:
    bool prepareFolder() const;

    QString folder_;
};

}  // namespace verimant
