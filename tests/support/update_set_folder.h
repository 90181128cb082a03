#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace verimant::test {

// The demo's update set, copied into the folder a test's FTP server serves, for a test to change.
class UpdateSetFolder {
public:
    explicit UpdateSetFolder(QString root);
    const QString& root() const { return root_; }

    bool copyDemoSet();
    // Replaces text of the configuration (written back in CP1251) and drops its signature; false
    // when `from` is absent.
    bool editConfig(const QString& from, const QString& to);
    // A base of the given record lines, each in a block of its own after the two header blocks;
    // BASE_SHA256 follows it.
    bool writeBase(const QList<QByteArray>& records);
    // Puts other bytes on the server under a file's name and gives its section (or the base's
    // BASE_SHA256) their SHA256, so
    // the set stays consistent and only the bytes themselves are at fault.
    bool replaceFile(const QString& name, const QByteArray& bytes);
    QByteArray file(const QString& name) const;
    // Signs the configuration as it now stands (writes verimant_version_3.ini.sig), at
    // `signedAt`: now by default, 0 for the first form without a signing time.
    bool signConfig(const QByteArray& secretKey,
                    qint64 signedAt = QDateTime::currentSecsSinceEpoch());

    static QString demoFolder();

private:
    QString root_;
};

}  // namespace verimant::test
