#pragma once

#include <QByteArray>
#include <QString>

namespace verimant::cli {

// What --help lists, as the --json document: `commands` (name, usage, summary) and `options`
// (name, short_name, value_name, description), beside the keys of every document. `command` is
// the command named on the line, or empty.
QByteArray helpDocument(const QString& command);

}  // namespace verimant::cli
