#include "platform/temp_folder.h"

#include <QDir>

namespace verimant {

QString systemTempPath() {
    return QDir::tempPath();
}

QString toolTempFolder() {
    // Without a system folder there is no tool folder either: "/pelma" would be the root's.
    const QString system = systemTempPath();
    return system.isEmpty() ? QString() : system + QStringLiteral("/pelma");
}

}  // namespace verimant
