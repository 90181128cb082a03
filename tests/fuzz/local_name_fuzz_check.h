#pragma once

#include "platform/cp1251.h"
#include "update/local_name.h"

#include <QByteArrayView>
#include <QDir>
#include <QFileInfo>
#include <QString>

#include <string>

namespace verimant::fuzz {

// A file name as the server's configuration gives it (CP1251, and the same bytes read as UTF-8):
// the local path it becomes must be one plain file directly inside the folder, or nothing with a
// reason. Empty when that holds, else what went wrong.
inline std::string checkLocalNameInput(QByteArrayView input) {
    const QString folder = QStringLiteral("/tmp/pelma-fuzz");
    for (const QString& name :
         {decodeCp1251(input.toByteArray()), QString::fromUtf8(input.toByteArray())}) {
        QString problem;
        const QString path = localPathForServerName(folder, name, &problem);
        if (path.isEmpty()) {
            if (problem.isEmpty()) {
                return "a name refused without a reason";
            }
            continue;
        }
        if (!path.startsWith(folder + QLatin1Char('/'))) {
            return "a path outside the folder";
        }
        const QString file = path.mid(folder.size() + 1);
        if (file.isEmpty() || file == QLatin1String(".") || file == QLatin1String("..") ||
            file.contains(QLatin1Char('/')) || file.contains(QLatin1Char('\\'))) {
            return "not one plain file name: " + file.toStdString();
        }
        for (const QChar c : file) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
                return "a control character in the local name";
            }
        }
        if (QFileInfo(QDir::cleanPath(path)).absolutePath() != folder) {
            return "the cleaned path leaves the folder";
        }
        if (!name.endsWith(file)) {
            return "the local name is not the last piece of the server's";
        }
    }
    return {};
}

}  // namespace verimant::fuzz
