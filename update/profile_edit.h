#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace verimant {

// Sets one value of a profile (ini) text where the profile reader would read it: the first
// section of that name, its first key of that name, names compared without case. Every other
// byte stays as it was (line ends, comments, blanks, order), so a maker's file keeps its form. A
// key the section lacks is added after the section's last key, with the text's own line end.
// Nothing when the section is absent. `value` is written in CP1251.
std::optional<QByteArray> withProfileValue(const QByteArray& text, const QString& section,
                                           const QString& key, const QString& value);

}  // namespace verimant
