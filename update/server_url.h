#pragma once

#include "update/server_settings.h"

#include <QByteArray>
#include <QString>

namespace verimant {

// The address curl is given for a "\"-separated remote path: every folder and the file name
// encoded as CP1251 and percent-encoded on its own, so no name can add a folder, a query or a
// line of its own. Never holds the account or the password. A path ending in "\" names a folder.
QByteArray serverUrl(const ServerSettings& settings, const QString& remotePath);

// The proxy curl takes for `url` from https_proxy, ftp_proxy or all_proxy, unless no_proxy
// exempts the host; without its account and password. Empty for a direct connection.
QString proxyFor(const QByteArray& url);

}  // namespace verimant
