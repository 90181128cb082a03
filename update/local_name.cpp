#include "update/local_name.h"

#include <QRegularExpression>
#include <QStringList>

namespace verimant {

namespace {

QString refuse(QString* problem, const QString& why) {
    if (problem)
        *problem = why;
    return QString();
}

bool hasControlCharacter(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    }
    return false;
}

bool isAbsoluteForm(const QString& name) {
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:"));
    return name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\')) ||
           drive.match(name).hasMatch();
}

QStringList refusePieces(QString* problem, const QString& why) {
    refuse(problem, why);
    return {};
}

// The name's pieces when it may become a file inside a folder; empty, with the reason, otherwise.
QStringList confinedPieces(const QString& folder, const QString& serverName, QString* problem) {
    if (folder.isEmpty())
        return refusePieces(problem, QStringLiteral("no local folder"));
    if (hasControlCharacter(serverName))
        return refusePieces(problem, QStringLiteral("control character in the name"));
    if (isAbsoluteForm(serverName))
        return refusePieces(problem, QStringLiteral("absolute name"));
    static const QRegularExpression separators(QStringLiteral("[/\\\\]"));
    const QStringList pieces = serverName.split(separators);
    if (pieces.contains(QStringLiteral("..")))
        return refusePieces(problem, QStringLiteral("\"..\" in the name"));
    const QString last = pieces.last();
    if (last.isEmpty() || last == QLatin1String("."))
        return refusePieces(problem, QStringLiteral("no file name"));
    return pieces;
}

}  // namespace

QString localPathForServerName(const QString& folder, const QString& serverName, QString* problem) {
    const QStringList pieces = confinedPieces(folder, serverName, problem);
    if (pieces.isEmpty())
        return QString();
    return folder + QLatin1Char('/') + pieces.last();
}

QString folderPathForServerName(const QString& folder, const QString& serverName,
                                QString* problem) {
    QStringList pieces = confinedPieces(folder, serverName, problem);
    if (pieces.isEmpty())
        return QString();
    // "fw\\x" and "fw\.\x" name the same file on the server.
    pieces.removeAll(QString());
    pieces.removeAll(QStringLiteral("."));
    return folder + QLatin1Char('/') + pieces.join(QLatin1Char('/'));
}

}  // namespace verimant
