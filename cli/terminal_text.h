#pragma once

#include <QByteArray>
#include <QString>

namespace verimant::cli {

// A line for the terminal in UTF-8. Text from the server or the instrument (names, descriptions,
// FTP replies) may carry control characters: an escape sequence could move the cursor, recolour
// or retitle the terminal, a carriage return or backspace could hide or forge what was shown.
// Every control character except the line break is therefore shown as \xHH.
QByteArray terminalText(const QString& text);

}  // namespace verimant::cli
