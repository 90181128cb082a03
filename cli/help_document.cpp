#include "cli/help_document.h"

#include "cli/cli_command.h"
#include "cli/cli_options.h"
#include "cli/json_result.h"

#include <QJsonArray>
#include <QJsonObject>

namespace verimant::cli {

namespace {

// A name that is not there is null, so a script tells "none" from an empty text.
QJsonValue textOrNull(const QString& text) {
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QJsonArray commandsJson() {
    QJsonArray commands;
    for (const CliCommand& command : cliCommands()) {
        const QString usage = (command.name + QLatin1Char(' ') + command.usage +
                               (command.needsInstrument ? QStringLiteral(" --port N") : QString()))
                                  .simplified();
        commands.append(QJsonObject{{QStringLiteral("name"), command.name},
                                    {QStringLiteral("usage"), usage},
                                    {QStringLiteral("summary"), command.summary}});
    }
    return commands;
}

QJsonArray optionsJson() {
    QJsonArray options;
    for (const CliOptionSpec& entry : cliOptionTable()) {
        options.append(QJsonObject{
            {QStringLiteral("name"), QStringLiteral("--") + entry.name},
            {QStringLiteral("short_name"), entry.shortName.isEmpty()
                                               ? QJsonValue()
                                               : QJsonValue(QLatin1Char('-') + entry.shortName)},
            {QStringLiteral("value_name"), textOrNull(entry.valueName)},
            {QStringLiteral("description"), entry.description}});
    }
    return options;
}

}  // namespace

QByteArray helpDocument(const QString& command) {
    JsonResult json;
    json.set(QStringLiteral("commands"), commandsJson());
    json.set(QStringLiteral("options"), optionsJson());
    return json.document(command, kExitSuccess);
}

}  // namespace verimant::cli
