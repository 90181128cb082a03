#include "platform/temp_folder.h"

#include <QDir>

namespace verimant {

QString systemTempPath() {
    return QDir::tempPath();
}

QString toolTempFolder() {
    return systemTempPath() + QStringLiteral("/pelma");
}

}  // namespace verimant
