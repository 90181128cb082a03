#pragma once

#include <QAction>
#include <QObject>
#include <QPointer>

class QMenu;
class QWidget;

namespace verimant {

// Runs an action's handlers the way a click on an item that points at it does: nothing happens
// while the action is disabled, and the action's check mark is left to its handlers (a checkable
// QAction would otherwise flip its own mark on trigger()).
void executeAction(QAction* action);

// Ties a menu item to the action it points at: the item shows the action's caption, icon, check
// mark, enabled state and visibility, and stays in step with it; clicking the item executes the
// action. The item may additionally be disabled or hidden on its own, without touching the
// action (as the log pane's "clear" item is).
class ItemBinding : public QObject {
    Q_OBJECT
public:
    ItemBinding(QAction* item, QAction* source);

    QAction* source() const { return source_; }
    void setItemEnabled(bool enabled);
    void setItemVisible(bool visible);
    // Puts the item back in step with its action.
    void sync();

    // The binding of an item made by the functions below, or nullptr.
    static ItemBinding* of(const QAction* item);

private:
    void onItemTriggered();

    QAction* item_;
    QPointer<QAction> source_;
    bool itemEnabled_ = true;
    bool itemVisible_ = true;
};

// Gives every item of `menu` (a QMenu or the QMenuBar) a mnemonic of its own, in item order.
// Captions change with the language and the state, so this runs whenever a menu opens.
void refreshMnemonics(QWidget* menu);

// Adds an item pointing at `source` to `menu` (a QMenu or the QMenuBar), named `itemName`.
QAction* addActionItem(QWidget* menu, QAction* source, const QString& itemName);

// Adds a submenu whose title item points at `source`; opening the submenu executes the action,
// as clicking an item with sub-items does.
QMenu* addActionSubmenu(QWidget* menu, QAction* source, const QString& menuName);

}  // namespace verimant
