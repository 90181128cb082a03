#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

namespace verimant {

// What this user's tool has learnt to expect, like a browser's pinned secure sites: the sources
// (server address without credentials, or a folder's canonical path) that once served a signed
// configuration, and per trusted key the newest signing time accepted. One small text file in the
// user's data folder, replaced whole on every change.
class TrustMemory {
public:
    // $XDG_DATA_HOME/verimant-manager/trust-state (~/.local/share without XDG_DATA_HOME).
    static QString defaultPath();

    explicit TrustMemory(QString path = defaultPath());

    // Reads the file; a missing file is an empty memory. False, with the reason, for a file that
    // is there but cannot be read or understood: forgetting would unpin every source.
    bool load(QString* problem);
    bool isPinned(const QString& source) const { return pinnedSources_.contains(source); }
    // 0 when the key has not signed an accepted configuration yet.
    qint64 newestSigningTime(const QByteArray& publicKey) const {
        return newestTimes_.value(publicKey, 0);
    }
    // Pins `source` and raises the key's newest time to `signedAt`, merged with what other runs
    // wrote meanwhile, and writes the file atomically.
    bool rememberSigned(const QString& source, const QByteArray& publicKey, qint64 signedAt,
                        QString* problem);

    const QString& path() const { return path_; }

private:
    bool save(QString* problem) const;

    QString path_;
    QSet<QString> pinnedSources_;
    QHash<QByteArray, qint64> newestTimes_;
};

}  // namespace verimant
