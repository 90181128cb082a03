#include "update/server_url.h"

#include "platform/cp1251.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

namespace verimant {

namespace {

QByteArray environment(const char* name) {
    QByteArray value = qgetenv(name);
    if (value.isEmpty())
        value = qgetenv(QByteArray(name).toUpper().constData());
    return value;
}

// curl's rule: "*" exempts every host, otherwise a listed name exempts itself and every host
// below it.
bool exemptFromProxy(const QString& host) {
    const QString list = QString::fromLocal8Bit(environment("no_proxy"));
    for (QString entry :
         list.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts)) {
        if (entry == QLatin1String("*"))
            return true;
        if (entry.startsWith(QLatin1Char('.')))
            entry.remove(0, 1);
        if (host.compare(entry, Qt::CaseInsensitive) == 0 ||
            host.endsWith(QLatin1Char('.') + entry, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

}  // namespace

QByteArray serverUrl(const ServerSettings& settings, const QString& remotePath) {
    QByteArray url = settings.scheme == ServerScheme::Https ? "https://" : "ftp://";
    const bool literalV6 = settings.host.contains(QLatin1Char(':'));
    url += literalV6 ? '[' + settings.host.toUtf8() + ']' : QUrl::toAce(settings.host);
    url += ':' + QByteArray::number(settings.port);
    url += settings.scheme == ServerScheme::Https ? settings.basePath.toUtf8() : "/";
    QStringList pieces = remotePath.split(QLatin1Char('\\'));
    const QString fileName = pieces.takeLast();
    for (const QString& folder : pieces)
        if (!folder.isEmpty())
            url += encodeCp1251(folder).toPercentEncoding() + '/';
    return url + encodeCp1251(fileName).toPercentEncoding();
}

QString proxyFor(const QByteArray& url) {
    const QUrl target(QString::fromLatin1(url));
    if (exemptFromProxy(target.host()))
        return QString();
    QByteArray proxy = target.scheme() == QLatin1String("https") ? environment("https_proxy")
                                                                 : environment("ftp_proxy");
    if (proxy.isEmpty())
        proxy = environment("all_proxy");
    if (proxy.isEmpty())
        return QString();
    QUrl shown(QString::fromLocal8Bit(proxy.contains("://") ? proxy : "http://" + proxy));
    shown.setUserInfo(QString());
    return shown.toString();
}

}  // namespace verimant
