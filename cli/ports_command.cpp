#include "cli/cli_command.h"
#include "cli/cli_commands.h"
#include "cli/cli_run.h"

#include "platform/port_access.h"
#include "platform/port_map.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include <vector>

namespace verimant::cli {

int runPortsCommand(CliRun& run, const QStringList&) {
    std::vector<PortEntry> entries(1000);
    int count = int(entries.size());
    enumeratePorts(entries.data(), count);
    compactPortEntries(entries.data(), count);
    QJsonArray listed;
    if (count == 0) {
        run.json().set(QStringLiteral("ports"), listed);
        std::fprintf(run.out(), "No serial ports.\n");
        return kExitSuccess;
    }
    // A port this user may not open is listed all the same, marked, so that an instrument which
    // "never answers" is not hunted on the wrong port; how to get access follows the list.
    QStringList advice;
    for (int i = 0; i < count; ++i) {
        const int number = entries[i].portNumber;
        const QString path = portDevicePath(number);
        QString line = QStringLiteral("COM%1 %2").arg(number, -4).arg(path);
        const bool accessible = userMayOpen(path);
        listed.append(QJsonObject{{QStringLiteral("port"), number},
                                  {QStringLiteral("device"), path},
                                  {QStringLiteral("accessible"), accessible}});
        if (!accessible) {
            line += QStringLiteral("  [no permission: group %1]").arg(deviceGroupName(path));
            const QString text = portPermissionAdvice(path);
            if (!advice.contains(text)) {
                advice.append(text);
            }
        }
        std::fprintf(run.out(), "%s\n", line.toUtf8().constData());
    }
    run.json().set(QStringLiteral("ports"), listed);
    run.json().set(QStringLiteral("advice"), QJsonArray::fromStringList(advice));
    for (const QString& text : advice) {
        std::fprintf(run.out(), "%s\n", text.toUtf8().constData());
    }
    return kExitSuccess;
}

}  // namespace verimant::cli
