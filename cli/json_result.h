#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

namespace verimant::cli {

// The one document a --json run prints on standard output. Commands set their keys as they learn
// them; the boxes shown on the way are collected, so that a failure carries its message even when
// the command stopped before it had anything else to say.
class JsonResult {
public:
    void set(const QString& key, const QJsonValue& value) { fields_.insert(key, value); }
    void setAll(const QJsonObject& fields) {
        for (auto it = fields.begin(); it != fields.end(); ++it) {
            fields_.insert(it.key(), it.value());
        }
    }
    QJsonValue value(const QString& key) const { return fields_.value(key); }
    // The first error box shown: what stopped a failed run.
    const QString& firstError() const { return firstError_; }
    // A box shown to the operator: "error", "warning" or "information".
    void noteMessage(const QString& kind, const QString& text);

    // The whole document, UTF-8, ending in a line break. A failed run without an error box still
    // gets an "error" that says so: a script must not have to guess from missing keys.
    QByteArray document(const QString& command, int exitCode) const;

private:
    QJsonObject fields_;
    QJsonArray messages_;
    QString firstError_;
};

}  // namespace verimant::cli
