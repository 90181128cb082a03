#include "update/report_outbox.h"

#include "platform/temp_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace verimant {

namespace {

constexpr int kNumberDigits = 8;

bool saveWhole(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

}  // namespace

QString ReportOutbox::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/verimant-manager/outbox");
}

bool ReportOutbox::prepareFolder() const {
    // Only a folder checked as this user's own may hold reports; a planted link could lead
    // them elsewhere.
    QDir().mkpath(QFileInfo(folder_).absolutePath());
    return preparePrivateFolder(folder_) == PrivateFolderStatus::Ready;
}

bool ReportOutbox::keep(const QString& remotePath, const QString& reportFile) {
    QFile source(reportFile);
    if (!prepareFolder() || !source.open(QIODevice::ReadOnly))
        return false;
    const QStringList names = QDir(folder_).entryList(
        {QStringLiteral("*.report"), QStringLiteral("*.path")}, QDir::Files, QDir::Name);
    const int next = names.isEmpty() ? 1 : names.last().section(QLatin1Char('.'), 0, 0).toInt() + 1;
    const QString stem = folder_ + QLatin1Char('/') +
                         QStringLiteral("%1").arg(next, kNumberDigits, 10, QLatin1Char('0'));
    return saveWhole(stem + QStringLiteral(".report"), source.readAll()) &&
           saveWhole(stem + QStringLiteral(".path"), remotePath.toUtf8());
}

QList<ReportOutbox::Entry> ReportOutbox::waiting() const {
    QList<Entry> entries;
    const QDir dir(folder_);
    for (const QString& name : dir.entryList({QStringLiteral("*.path")}, QDir::Files, QDir::Name)) {
        const QString stem = dir.filePath(name.section(QLatin1Char('.'), 0, 0));
        QFile path(stem + QStringLiteral(".path"));
        if (!QFile::exists(stem + QStringLiteral(".report")) || !path.open(QIODevice::ReadOnly))
            continue;
        entries.append({stem + QStringLiteral(".report"), QString::fromUtf8(path.readAll())});
    }
    return entries;
}

bool ReportOutbox::remove(const Entry& entry) const {
    const QString stem = entry.reportFile.chopped(int(sizeof(".report")) - 1);
    // The path goes first: a report without it is never sent again.
    return QFile::remove(stem + QStringLiteral(".path")) && QFile::remove(entry.reportFile);
}

}  // namespace verimant
