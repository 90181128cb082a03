#include "update/server_settings.h"

#include "update/build_options.h"

#include <QStringList>
#include <QUrl>

#include <algorithm>

namespace verimant {

namespace {

constexpr char kServerVariable[] = "VERIMANT_UPDATE_SERVER";

}  // namespace

QString ServerSettings::schemeText() const {
    switch (scheme) {
        case ServerScheme::Ftp:
            return QStringLiteral("ftp");
        case ServerScheme::FtpTls:
            return QStringLiteral("ftpes");
        case ServerScheme::Https:
            return QStringLiteral("https");
    }
    return QString();
}

QString ServerSettings::displayText() const {
    if (host.isEmpty())
        return QStringLiteral("(no update server)");
    const QString account = user.isEmpty() ? QString() : user + QLatin1Char('@');
    const QString path = scheme == ServerScheme::Https ? basePath : QString();
    return QStringLiteral("%1://%2%3:%4%5").arg(schemeText(), account, host).arg(port).arg(path);
}

ServerSettings builtInServerSettings() {
    // Placeholder for the maker's server until its address and account are handed over; the
    // documentation address range guarantees nothing real is reached by accident.
    ServerSettings settings;
    settings.host = QStringLiteral("192.0.2.21");
    settings.port = 21;
    settings.user = QStringLiteral("verimant_service_update_acct01");
    settings.password = QStringLiteral("Vm3-service-Upd-2026");
    return settings;
}

QString builtInTrustedKeysText() {
    // The maker's build names its keys at configure time (VERIMANT_BUILT_IN_KEYS);
    // VERIMANT_TRUSTED_KEYS adds more for one run.
    return QString::fromLatin1(VERIMANT_BUILT_IN_KEYS_TEXT);
}

namespace {

const QStringList kSchemes{QStringLiteral("ftp"), QStringLiteral("ftpes"), QStringLiteral("https")};

bool hasSpaceOrControl(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; });
}

// "host[:port]" of the address: after the scheme and the account, before the path. The account
// is cut off at its last '@' so that no part of the password is ever looked at again.
QString hostAndPort(const QString& text) {
    const qsizetype start = text.indexOf(QStringLiteral("://")) + 3;
    qsizetype end = start;
    while (end < text.size() && !QStringLiteral("/?#").contains(text.at(end))) {
        ++end;
    }
    const QString authority = text.mid(start, end - start);
    return authority.mid(authority.lastIndexOf(QLatin1Char('@')) + 1);
}

// The port text after the host, or a null text when none is given.
QString portText(const QString& hostPort) {
    const qsizetype bracket = hostPort.lastIndexOf(QLatin1Char(']'));
    const qsizetype colon = hostPort.indexOf(QLatin1Char(':'), bracket < 0 ? 0 : bracket);
    return colon < 0 ? QString() : hostPort.mid(colon + 1);
}

// What makes `text` unusable that can be named without reading the account: its characters,
// its scheme, its host and its port. Empty when none of these is wrong.
QString shapeProblem(const QString& text) {
    if (hasSpaceOrControl(text))
        return QStringLiteral("it holds a space, a tab or a line break");
    const qsizetype schemeEnd = text.indexOf(QStringLiteral("://"));
    if (schemeEnd <= 0)
        return QStringLiteral("no scheme: it starts with ftp://, ftpes:// or https://");
    const QString scheme = text.left(schemeEnd);
    if (!kSchemes.contains(scheme))
        return QStringLiteral("unknown scheme '%1' (ftp, ftpes or https)").arg(scheme);
    const QString hostPort = hostAndPort(text);
    const QString port = portText(hostPort);
    if (hostPort.isEmpty() || hostPort.size() == port.size() + 1)
        return QStringLiteral("no host");
    bool isNumber = false;
    const int number = port.toInt(&isNumber, 10);
    if (!port.isNull() && (!isNumber || number < 1 || number > 65535))
        return QStringLiteral("bad port '%1' (1 to 65535)").arg(port);
    return {};
}

std::optional<ServerScheme> schemeOf(const QUrl& url) {
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("ftp")) {
        const QString query = url.query();
        if (query.isEmpty())
            return ServerScheme::Ftp;
        if (query == QLatin1String("tls=required"))
            return ServerScheme::FtpTls;
        return std::nullopt;
    }
    if (!url.query().isEmpty())
        return std::nullopt;
    if (scheme == QLatin1String("ftpes"))
        return ServerScheme::FtpTls;
    if (scheme == QLatin1String("https"))
        return ServerScheme::Https;
    return std::nullopt;
}

}  // namespace

std::optional<ServerSettings> parseServerAddress(const QString& text, QString* problem) {
    auto refuse = [problem](const QString& why) -> std::optional<ServerSettings> {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    const QString trimmed = text.trimmed();
    if (const QString problem = shapeProblem(trimmed); !problem.isEmpty())
        return refuse(problem);
    // QUrl's own error text quotes the whole address, password and all; it is never shown.
    const QUrl url(trimmed, QUrl::StrictMode);
    if (!url.isValid())
        return refuse(
            QStringLiteral("not a valid address: a character in the account or the host "
                           "needs percent-encoding"));
    const std::optional<ServerScheme> scheme = schemeOf(url);
    if (!scheme)
        return refuse(url.scheme() == QLatin1String("ftp")
                          ? QStringLiteral("the only query ftp:// takes is ?tls=required")
                          : QStringLiteral("%1:// takes no query").arg(url.scheme()));
    if (url.host().isEmpty())
        return refuse(QStringLiteral("no host"));
    const bool https = *scheme == ServerScheme::Https;
    if (url.userName().isEmpty() && !https)
        return refuse(QStringLiteral("no user name"));
    QString path = url.path(QUrl::FullyEncoded);
    if (https && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    if (!https && !path.isEmpty() && path != QLatin1String("/"))
        return refuse(QStringLiteral("a folder cannot be given"));
    const int port = url.port(https ? 443 : 21);
    if (port < 1 || port > 65535)
        return refuse(QStringLiteral("bad port"));
    ServerSettings settings;
    settings.scheme = *scheme;
    settings.host = url.host();
    settings.port = static_cast<quint16>(port);
    settings.user = url.userName(QUrl::FullyDecoded);
    settings.password = url.password(QUrl::FullyDecoded);
    settings.basePath = path.isEmpty() ? QStringLiteral("/") : path;
    return settings;
}

ServerSettings updateServerSettings() {
    const QByteArray value = qgetenv(kServerVariable);
    if (value.isEmpty())
        return builtInServerSettings();
    QString why;
    if (auto parsed = parseServerAddress(QString::fromUtf8(value), &why))
        return *parsed;
    ServerSettings unusable;
    unusable.problem = QStringLiteral("%1 is not usable: %2").arg(kServerVariable, why);
    return unusable;
}

}  // namespace verimant
