#include "ui/verify_writes_setting.h"

#include "platform/setting_store.h"

#include <QAction>

namespace verimant {

namespace {

const QString kOptionsGroup = QStringLiteral("MANAGER/OPTIONS");
const QString kVerifyWritesKey = QStringLiteral("VERIFY_WRITES");

}  // namespace

void bindVerifyWritesSetting(QAction* action) {
    action->setChecked(readUserInt32(kOptionsGroup, kVerifyWritesKey).value_or(1) != 0);
    // Menu items leave an action's check mark to its handlers; this one is a plain toggle.
    QObject::connect(action, &QAction::triggered, action,
                     [action] { action->setChecked(!action->isChecked()); });
    QObject::connect(action, &QAction::toggled, action, [](bool on) {
        // A failed write only means the next run starts with the stored (or default) choice.
        writeUserInt32(kOptionsGroup, kVerifyWritesKey, on ? 1 : 0);
    });
}

}  // namespace verimant
