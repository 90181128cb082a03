#pragma once

#include "base/ui_language.h"

namespace verimant {

// Qt's own texts (the standard buttons of message boxes, the input dialog, the folder chooser)
// follow the interface language: Qt's Russian catalogue is installed while Russian is in force
// and removed for English. Returns false when the catalogue is not installed on this system, in
// which case Qt's English texts stay.
bool applyToolkitLanguage(UiLanguage language);

}  // namespace verimant
