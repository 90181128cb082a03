#pragma once

#include <QFont>

namespace verimant {

// The window's base font: a plain sans serif at the small size the layout was drawn for
// (11 pixels of character height).
QFont windowBaseFont();

// A fixed-pitch font for the log pane and the value fields, chosen among the installed faces that
// carry Cyrillic glyphs and keep Courier's metrics where possible. `pixelSize` is the character
// height.
QFont monospaceFont(int pixelSize, bool bold = false);

}  // namespace verimant
