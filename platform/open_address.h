#pragma once

#include <QString>

namespace verimant {

// Hands a web address to the desktop (the user's browser). False when nothing took it, for
// example when the program runs without a graphical session.
bool openAddress(const QString& url);

}  // namespace verimant
