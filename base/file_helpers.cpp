#include "base/file_helpers.h"

#include "base/user_dialogs.h"
#include "platform/event_wait.h"
#include "platform/temp_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <new>

namespace verimant {

namespace {

constexpr qsizetype kMaxPathLength = 4095;

// Reports a failure to the user when the call asked for messages.
void failureBox(bool interactive, const QString& text) {
    if (interactive) {
        userDialogs().showError(text);
    }
}

QString openFailureText(const QString& path) {
    return QStringLiteral("Ошибка открытия файла ") + path +
           QStringLiteral("\nВозможно нет доступа");
}

// An entry of any kind, a dangling link included: something is in the way of a new file.
bool pathTaken(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool writeAll(QFile& file, const QByteArray& bytes) {
    return file.write(bytes) == bytes.size() && file.flush();
}

}  // namespace

WholeFile readWholeFile(const QString& path, bool interactive) {
    QString chosen = path;
    if (chosen.isEmpty()) {
        if (!interactive) {
            return {};
        }
        if (!userDialogs().chooseFileToOpen(chosen)) {
            return {true, std::nullopt};
        }
    }
    const QFileInfo info(chosen);
    if (!info.exists()) {
        failureBox(interactive,
                   QStringLiteral("Файл ") + chosen + QStringLiteral(" не существует"));
        return {};
    }
    // Folders, pipes and devices are not files to read whole: a pipe would block for ever and a
    // device may never end.
    QFile file(chosen);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        failureBox(interactive, openFailureText(chosen));
        return {};
    }
    const qint64 size = file.size();
    if (size >= kMaxWholeFileSize) {
        failureBox(interactive, QStringLiteral("Странный размер файла : [") +
                                    QString::number(size) +
                                    QStringLiteral("] Нету столько памяти в ТВК-500"));
        return {};
    }
    QByteArray buffer;
    try {
        buffer = QByteArray(static_cast<qsizetype>(size), Qt::Uninitialized);
    } catch (const std::bad_alloc&) {
        failureBox(interactive, QStringLiteral("Не хватает памяти в компутере"));
        return {};
    }
    if (size > 0 && file.read(buffer.data(), size) != size) {
        failureBox(interactive, QStringLiteral("Ошибка чтения файла"));
        return {};
    }
    return {true, std::move(buffer)};
}

bool writeWholeFile(const QString& path, const QByteArray& bytes, bool overwriteSilently,
                    bool interactive) {
    QString chosen = path;
    if (chosen.isEmpty()) {
        if (!interactive) {
            return false;
        }
        if (!userDialogs().chooseFileToSave(chosen)) {
            return true;
        }
    }
    QFile file(chosen);
    if (pathTaken(chosen)) {
        if (interactive && !overwriteSilently &&
            !userDialogs().askYesNo(QStringLiteral("Файл ") + chosen +
                                        QStringLiteral(" уже существует - перезаписать?"),
                                    QStringLiteral("Что делать?"))) {
            return true;
        }
        if (!QFile::remove(chosen)) {
            failureBox(interactive, QStringLiteral("Ошибка : нет доступа к файлу"));
            return false;
        }
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            failureBox(interactive, openFailureText(chosen));
            return false;
        }
    } else if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        failureBox(interactive, QStringLiteral("Файл ") + chosen + QStringLiteral(" не создается"));
        return false;
    }
    if (!writeAll(file, bytes)) {
        failureBox(interactive, QStringLiteral("Ошибка записи ") + chosen +
                                    QStringLiteral("\nВозможно нет доступа"));
        return false;
    }
    return true;
}

qint64 fileSize(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        return 0;
    }
    return file.size();
}

void waitMs(int ms) {
    pumpEventsFor(ms);
}

QString temporaryFolder() {
    const QString folder = systemTempPath();
    if (folder.isEmpty() || folder.size() > kMaxPathLength) {
        return QString();
    }
    return folder;
}

void emptyFolder(const QString& folder, const QString& mask) {
    // An empty name would mean the working folder: when the temporary folder cannot be found, a
    // start-up that empties it must not empty wherever the tool was started from.
    if (folder.isEmpty()) {
        return;
    }
    // "*.*" means every name on the system this tool comes from, dotless names included.
    const QString pattern = mask == QStringLiteral("*.*") ? QStringLiteral("*") : mask;
    QDir dir(folder);
    const QStringList names =
        dir.entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        dir.remove(name);
    }
}

int splitText(const QString& text, QChar separator, QStringList& pieces) {
    int count = 0;
    QString piece;
    for (const QChar c : text) {
        if (c == QChar::Null || c == u'\r' || c == u'\n') {
            break;
        }
        if (c == separator) {
            if (!piece.isEmpty()) {
                pieces.append(piece);
            }
            piece.clear();
            ++count;
            continue;
        }
        piece.append(c);
    }
    if (!piece.isEmpty()) {
        pieces.append(piece);
    }
    return count + 1;
}

std::uint8_t hexDigitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') {
        return static_cast<std::uint8_t>(u - u'0');
    }
    if (u >= u'A' && u <= u'F') {
        return static_cast<std::uint8_t>(u - u'A' + 10);
    }
    if (u >= u'a' && u <= u'f') {
        return static_cast<std::uint8_t>(u - u'a' + 10);
    }
    switch (u) {
        case u'А':
        case u'а':
            return 10;
        case u'В':
            return 11;
        case u'С':
        case u'с':
            return 12;
        case u'Е':
        case u'е':
            return 14;
        default:
            return 255;
    }
}

}  // namespace verimant
