#pragma once

#include <QString>

#include <optional>

namespace verimant {

// The per-user store of the tool's own settings: organisation "PELMA", application "KMT2"; `group`
// is a path below it such as "MANAGER/OPTIONS". A value keeps its kind: an integer and a text that
// reads like one are different values, so a reader asking for an integer never gets a text.

// The stored 32-bit integer; nothing when the value is missing, unreadable or of another kind.
std::optional<qint32> readUserInt32(const QString& group, const QString& key);
// False when the store could not be written.
bool writeUserInt32(const QString& group, const QString& key, qint32 value);
// The stored text; nothing when the value is missing or of another kind.
std::optional<QString> readUserText(const QString& group, const QString& key);
bool writeUserText(const QString& group, const QString& key, const QString& value);

}  // namespace verimant
