#include "update/last_config_copy.h"

#include "platform/temp_folder.h"
#include "update/update_config.h"

#include <QDir>
#include <QSaveFile>
#include <QStandardPaths>

namespace verimant {

QString userCacheFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/verimant-manager");
}

QString lastConfigCopyPath() {
    return userCacheFolder() + QLatin1Char('/') + QString::fromLatin1(kConfigFileName);
}

bool keepLastConfigCopy(const QByteArray& config) {
    const QString folder = userCacheFolder();
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation));
    // A configuration may name a maker's private packets: the copy is this user's alone.
    if (preparePrivateFolder(folder) != PrivateFolderStatus::Ready) {
        return false;
    }
    QSaveFile file(lastConfigCopyPath());
    return file.open(QIODevice::WriteOnly) &&
           file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
           file.write(config) == config.size() && file.commit();
}

}  // namespace verimant
