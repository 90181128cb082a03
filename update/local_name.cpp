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

}  // namespace

QString localPathForServerName(const QString& folder, const QString& serverName, QString* problem) {
    if (folder.isEmpty())
        return refuse(problem, QStringLiteral("no local folder"));
    if (hasControlCharacter(serverName))
        return refuse(problem, QStringLiteral("control character in the name"));
    if (isAbsoluteForm(serverName))
        return refuse(problem, QStringLiteral("absolute name"));
    static const QRegularExpression separators(QStringLiteral("[/\\\\]"));
    const QStringList pieces = serverName.split(separators);
    if (pieces.contains(QStringLiteral("..")))
        return refuse(problem, QStringLiteral("\"..\" in the name"));
    const QString last = pieces.last();
    if (last.isEmpty() || last == QLatin1String("."))
        return refuse(problem, QStringLiteral("no file name"));
    return folder + QLatin1Char('/') + last;
}

}  // namespace verimant
