#include "ui/double_click_choice.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QMouseEvent>

namespace verimant {

DoubleClickChoice::DoubleClickChoice(QComboBox* combo, std::function<void()> confirm)
    : QObject(combo), combo_(combo), confirm_(std::move(confirm)) {
    combo_->installEventFilter(this);
    if (combo_->lineEdit() != nullptr) {
        combo_->lineEdit()->installEventFilter(this);
    }
    combo_->view()->viewport()->installEventFilter(this);
}

bool DoubleClickChoice::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonDblClick) {
        return false;
    }
    if (watched == combo_->view()->viewport()) {
        const QModelIndex item =
            combo_->view()->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint());
        if (item.isValid()) {
            combo_->setCurrentIndex(item.row());
        }
        combo_->hidePopup();
    }
    confirm_();
    return true;
}

}  // namespace verimant
