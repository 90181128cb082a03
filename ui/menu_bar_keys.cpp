#include "ui/menu_bar_keys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>

namespace verimant {

MenuBarKeys::MenuBarKeys(QMenuBar* bar) : QObject(bar), bar_(bar) {
    qApp->installEventFilter(this);
}

bool MenuBarKeys::forThisWindow(QObject* watched) const {
    auto* widget = qobject_cast<QWidget*>(watched);
    return bar_ && widget != nullptr && widget->window() == bar_->window() &&
           QApplication::activePopupWidget() == nullptr &&
           QApplication::activeModalWidget() == nullptr;
}

void MenuBarKeys::openBar() {
    for (QAction* item : bar_->actions()) {
        if (item->isVisible() && item->isEnabled() && !item->isSeparator()) {
            bar_->setActiveAction(item);
            return;
        }
    }
}

bool MenuBarKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) {
        return false;
    }
    // A key event passes every widget on its way up; only its first receiver counts.
    QWidget* receiver = QApplication::focusWidget();
    if (receiver == nullptr && bar_) {
        receiver = bar_->window();
    }
    if (watched != receiver || !forThisWindow(watched)) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (event->type() == QEvent::KeyPress) {
        altAlone_ = key->key() == Qt::Key_Alt && !key->isAutoRepeat();
        if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::NoModifier) {
            openBar();
            return true;
        }
        return false;
    }
    if (key->key() == Qt::Key_Alt && altAlone_) {
        altAlone_ = false;
        openBar();
        return true;
    }
    return false;
}

}  // namespace verimant
