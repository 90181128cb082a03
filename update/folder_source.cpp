#include "update/folder_source.h"

#include "base/ui_language.h"

#include "base/activity_log.h"
#include "base/user_dialogs.h"
#include "platform/confined_file.h"
#include "update/local_name.h"
#include "update/update_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace verimant {

namespace {

constexpr qint64 kCopyChunk = 65536;

// Whether `path`, or the nearest part of it that exists, resolves inside `folder`. A link placed
// in the folder could otherwise carry a confined name anywhere.
bool resolvesInside(const QString& folder, const QString& path) {
    const QString root = QFileInfo(folder).canonicalFilePath();
    if (root.isEmpty())
        return false;
    QString probe = path;
    while (!QFileInfo::exists(probe) && !QFileInfo(probe).isSymLink())
        probe = QFileInfo(probe).path();
    const QString real = QFileInfo(probe).canonicalFilePath();
    return real == root || real.startsWith(root + QLatin1Char('/'));
}

}  // namespace

QString updateSourceFolderFromEnvironment() {
    return qEnvironmentVariable("VERIMANT_UPDATE_SOURCE");
}

QString confinedFolderPath(const QString& folder, const QString& serverName, QString* problem) {
    const QString path = folderPathForServerName(folder, serverName, problem);
    if (path.isEmpty())
        return path;
    if (!resolvesInside(folder, path)) {
        if (problem)
            *problem = QStringLiteral("a link leads outside the folder, or the folder is missing");
        return QString();
    }
    return path;
}

bool copyWhole(const QString& from, const QString& to, qint64 maxBytes) {
    QFile in(from);
    QSaveFile out(to);
    bool copied = in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly);
    while (copied && !in.atEnd()) {
        const QByteArray chunk = in.read(kCopyChunk);
        copied = !chunk.isEmpty() && out.write(chunk) == chunk.size() &&
                 (maxBytes < 0 || out.pos() <= maxBytes);
    }
    if (copied && out.commit())
        return true;
    out.cancelWriting();
    QFile::remove(to);
    return false;
}

FolderSource::FolderSource(ActivityLog& log, QString folder)
    : log_(log), folder_(QDir::cleanPath(QDir(folder).absolutePath())) {}

QString FolderSource::confinedPath(const QString& serverName) {
    QString problem;
    const QString path = confinedFolderPath(folder_, serverName, &problem);
    if (path.isEmpty())
        log_.AddErrorLine(QStringLiteral("Ошибка : имя файла [") + serverName +
                              QStringLiteral("] ") + problem + QStringLiteral(" [") + folder_ +
                              u']',
                          0);
    return path;
}

QString FolderSource::trustIdentity() const {
    const QString canonical = QFileInfo(folder_).canonicalFilePath();
    return canonical.isEmpty() ? folder_ : canonical;
}

FetchOutcome FolderSource::fetchFileUpTo(const QString& serverName, const QString& localPath,
                                         qint64 maxBytes) {
    QFile::remove(localPath);
    lastFetchFoundNoFile_ = false;
    const QString path = confinedPath(serverName);
    if (path.isEmpty())
        return FetchOutcome::Failed;
    // Not there at all, not even as a dangling link.
    lastFetchFoundNoFile_ = !QFileInfo::exists(path) && !QFileInfo(path).isSymLink();
    const QFileInfo file(path);
    const bool tooLarge = maxBytes >= 0 && file.size() > maxBytes;
    // The Local source is this tool's own: its status text has both languages.
    progressView().setStatusText(PickText(QStringLiteral("Чтение из каталога ["),
                                          QStringLiteral("Reading from the folder [")) +
                                 serverName + u']');
    const bool copied = file.isFile() && !tooLarge && copyWhole(path, localPath, maxBytes);
    progressView().setStatusText(QString());
    if (copied)
        return FetchOutcome::Fetched;
    log_.AddErrorLine(
        QStringLiteral("Ошибка получения файла из локального каталога [") + path + u']', -1);
    return tooLarge ? FetchOutcome::TooLarge : FetchOutcome::Failed;
}

bool FolderSource::uploadReport(const QString&, const QString& baseFolder,
                                const QString& fileName) {
    const QString path = confinedPath(instrumentFolderFor(baseFolder, deviceInfo_) + fileName);
    if (path.isEmpty())
        return false;
    // The check above runs on names; the append itself follows no link, so a link swapped in
    // after the check still cannot carry the report out of the folder.
    if (appendInsideFolder(folder_, QDir(folder_).relativeFilePath(path), log_.reportBytes()))
        return true;
    log_.AddErrorLine(
        QStringLiteral("Ошибка добавления отчета в локальный каталог [") + path + u']', -1);
    return false;
}

}  // namespace verimant
