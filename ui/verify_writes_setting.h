#pragma once

class QAction;

namespace verimant {

// "Проверять запись" / "Verify writes": whether the window's upgrade reads back both writes. On
// unless the user turned it off, and kept per user beside the interface language. Sets the action's
// check mark from the stored choice and stores every change of it.
void bindVerifyWritesSetting(QAction* action);

}  // namespace verimant
