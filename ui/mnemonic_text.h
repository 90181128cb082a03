#pragma once

#include <QString>

class QAction;

namespace verimant {

// The caption of a menu item with a keyboard mnemonic: the first letter or digit that no earlier
// item of the same menu has taken. A caption that already names its mnemonic keeps it.
QString mnemonicText(const QAction* item, const QString& caption);

// `text` without its mnemonic mark, as it reads on screen.
QString withoutMnemonic(const QString& text);

// The letter `text` marks as its mnemonic (lower case), or a null character.
QChar mnemonicOf(const QString& text);

}  // namespace verimant
