#include "cli/json_result.h"

#include <QJsonDocument>

namespace verimant::cli {

void JsonResult::noteMessage(const QString& kind, const QString& text) {
    messages_.append(QJsonObject{{QStringLiteral("kind"), kind}, {QStringLiteral("text"), text}});
    // The first error names the cause; the ones after it are what the cause led to.
    if (kind == QLatin1String("error") && firstError_.isEmpty()) {
        firstError_ = text;
    }
}

QByteArray JsonResult::document(const QString& command, int exitCode) const {
    QJsonObject document = fields_;
    document.insert(QStringLiteral("command"),
                    command.isEmpty() ? QJsonValue() : QJsonValue(command));
    document.insert(QStringLiteral("exit_code"), exitCode);
    if (!messages_.isEmpty()) {
        document.insert(QStringLiteral("messages"), messages_);
    }
    if (exitCode != 0 && !document.contains(QStringLiteral("error"))) {
        document.insert(QStringLiteral("error"),
                        firstError_.isEmpty()
                            ? QStringLiteral("the command failed (exit code %1)").arg(exitCode)
                            : firstError_);
    }
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

}  // namespace verimant::cli
