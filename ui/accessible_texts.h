#pragma once

class QWidget;

namespace verimant {

// Names and descriptions for assistive technology, in the interface language in force, for the
// controls of `window` (the main window or one of the choice dialogs). Controls whose visible
// text already names them (buttons, group boxes) get a description only.
void applyAccessibleTexts(QWidget* window);

}  // namespace verimant
