#include "ui/action_item.h"

#include "ui/mnemonic_text.h"

#include <QActionGroup>
#include <QMenu>

namespace verimant {

namespace {

const char kBindingProperty[] = "verimantItemBinding";

QString itemText(const QAction* item, const QAction* source) {
    const QString caption = mnemonicText(item, source->text());
    // The item shows the shortcut as text only: a second action carrying the same key sequence
    // would make the shortcut ambiguous and neither would fire.
    if (source->shortcut().isEmpty()) {
        return caption;
    }
    return caption + QLatin1Char('\t') + source->shortcut().toString(QKeySequence::NativeText);
}

}  // namespace

void executeAction(QAction* action) {
    if (action == nullptr || !action->isEnabled()) {
        return;
    }
    if (action->isCheckable()) {
        emit action->triggered(action->isChecked());
    } else {
        action->trigger();
    }
}

ItemBinding::ItemBinding(QAction* item, QAction* source)
    : QObject(item), item_(item), source_(source) {
    item_->setProperty(kBindingProperty, QVariant::fromValue(static_cast<QObject*>(this)));
    connect(source, &QAction::changed, this, &ItemBinding::sync);
    connect(source, &QAction::toggled, this, &ItemBinding::sync);
    connect(item, &QAction::triggered, this, &ItemBinding::onItemTriggered);
    sync();
}

ItemBinding* ItemBinding::of(const QAction* item) {
    if (item == nullptr) {
        return nullptr;
    }
    return qobject_cast<ItemBinding*>(item->property(kBindingProperty).value<QObject*>());
}

void ItemBinding::setItemEnabled(bool enabled) {
    itemEnabled_ = enabled;
    sync();
}

void ItemBinding::setItemVisible(bool visible) {
    itemVisible_ = visible;
    sync();
}

void ItemBinding::sync() {
    if (source_.isNull()) {
        return;
    }
    item_->setText(itemText(item_, source_));
    item_->setIcon(source_->icon());
    item_->setCheckable(source_->isCheckable());
    item_->setChecked(source_->isChecked());
    item_->setEnabled(itemEnabled_ && source_->isEnabled());
    item_->setVisible(itemVisible_ && source_->isVisible());
}

void ItemBinding::onItemTriggered() {
    executeAction(source_);
    // A click flips a checkable item (and, in a radio group, its neighbour) by itself; the marks
    // belong to the actions, so put every item of the group back in step with its action.
    sync();
    if (QActionGroup* group = item_->actionGroup()) {
        for (QAction* sibling : group->actions()) {
            if (ItemBinding* binding = of(sibling)) {
                binding->sync();
            }
        }
    }
}

void refreshMnemonics(QWidget* menu) {
    for (QAction* item : menu->actions()) {
        if (item->isSeparator()) {
            continue;
        }
        if (ItemBinding* binding = ItemBinding::of(item)) {
            binding->sync();
        } else if (!item->text().trimmed().isEmpty()) {
            item->setText(mnemonicText(item, withoutMnemonic(item->text())));
        }
    }
}

QAction* addActionItem(QWidget* menu, QAction* source, const QString& itemName) {
    auto* item = new QAction(menu);
    item->setObjectName(itemName);
    auto* binding = new ItemBinding(item, source);
    menu->addAction(item);
    binding->sync();  // its mnemonic depends on the items before it
    return item;
}

QMenu* addActionSubmenu(QWidget* menu, QAction* source, const QString& menuName) {
    auto* submenu = new QMenu(menu);
    submenu->setObjectName(menuName);
    auto* binding = new ItemBinding(submenu->menuAction(), source);
    QObject::connect(submenu, &QMenu::aboutToShow, source, [source] { executeAction(source); });
    QObject::connect(submenu, &QMenu::aboutToShow, submenu,
                     [submenu] { refreshMnemonics(submenu); });
    menu->addAction(submenu->menuAction());
    binding->sync();
    return submenu;
}

}  // namespace verimant
