#include "platform/open_address.h"

#include <QDesktopServices>
#include <QUrl>

namespace verimant {

bool openAddress(const QString& url) {
    const QUrl address(url.trimmed(), QUrl::TolerantMode);
    if (!address.isValid() || address.isEmpty()) {
        return false;
    }
    return QDesktopServices::openUrl(address);
}

}  // namespace verimant
