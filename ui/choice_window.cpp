#include "ui/choice_window.h"

#include <QEvent>
#include <QWindow>

namespace verimant {

ChoiceWindow::ChoiceWindow(QWidget* mainWindow, const char* objectName, QSize clientSize,
                           int cancelled)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      mainWindow_(mainWindow),
      cancelled_(cancelled) {
    setObjectName(QString::fromLatin1(objectName));
    resize(clientSize);
}

ChoiceWindow::~ChoiceWindow() {
    if (slot_ != nullptr) {
        *slot_ = cancelled_;
        slot_ = nullptr;
        if (mainWindow_) {
            mainWindow_->setEnabled(true);
        }
    }
}

void ChoiceWindow::beginChoice(int& slot, int pending) {
    if (slot_ != nullptr && slot_ != &slot) {
        *slot_ = cancelled_;
    }
    slot_ = &slot;
    slot = pending;
}

void ChoiceWindow::answerAtOnce(int& slot, int value) {
    beginChoice(slot, value);
    if (isVisible()) {
        endChoice(value);
    } else {
        slot_ = nullptr;
    }
}

void ChoiceWindow::showOverMainWindow() {
    if (mainWindow_) {
        mainWindow_->setEnabled(false);
    }
    centreOnMainWindow();
    // Kept above the main window by the window manager, like a dialog owned by it.
    if (mainWindow_ && mainWindow_->windowHandle() != nullptr) {
        winId();
        windowHandle()->setTransientParent(mainWindow_->windowHandle());
    }
    show();
    raise();
    activateWindow();
}

void ChoiceWindow::endChoice(int result) {
    if (slot_ == nullptr) {
        return;
    }
    *slot_ = result;
    slot_ = nullptr;
    hide();
    if (mainWindow_) {
        mainWindow_->setEnabled(true);
        mainWindow_->raise();
        mainWindow_->activateWindow();
    }
}

void ChoiceWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        retranslate();
    }
    QDialog::changeEvent(event);
}

void ChoiceWindow::reject() {
    if (isChoiceOpen()) {
        cancelChoice();
    } else {
        hide();
    }
}

void ChoiceWindow::centreOnMainWindow() {
    if (!mainWindow_) {
        return;
    }
    const QPoint centre = mainWindow_->frameGeometry().center();
    const QRect own = frameGeometry();
    move(centre.x() - own.width() / 2, centre.y() - own.height() / 2);
}

}  // namespace verimant
