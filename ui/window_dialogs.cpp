#include "ui/window_dialogs.h"

#include "base/ui_language.h"
#include "ui/bottom_panel.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

namespace verimant {

namespace {

// The kinds' titles follow the interface language like everything else the operator reads.
QString errorTitle() {
    return PickText(QStringLiteral("Ошибка"), QStringLiteral("Error"));
}

QString warningTitle() {
    return PickText(QStringLiteral("Предупреждение"), QStringLiteral("Warning"));
}

QString informationTitle() {
    return PickText(QStringLiteral("Информация"), QStringLiteral("Information"));
}

QString confirmTitle() {
    return PickText(QStringLiteral("Подтверждение"), QStringLiteral("Confirm"));
}

// Qt centres a box on a shown owner. Start-up asks its questions before the window is shown,
// when Qt would put the box at the screen's corner: it goes to the middle of the screen the
// window opens on instead, once the box has its final size.
void centreWhileOwnerHidden(QWidget& box, QWidget* owner) {
    if (owner != nullptr && owner->isVisible()) {
        return;
    }
    QTimer::singleShot(0, &box, [&box] {
        const QRect area = box.screen()->availableGeometry();
        const QRect frame = box.frameGeometry();
        box.move(area.center().x() - frame.width() / 2, area.center().y() - frame.height() / 2);
    });
}

int showBox(QWidget* owner, QMessageBox::Icon icon, const QString& title, const QString& text,
            QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, title, text, buttons, owner);
    centreWhileOwnerHidden(box, owner);
    // Enter answers a question with Yes, its first button, as operators expect.
    if (buttons.testFlag(QMessageBox::Yes)) {
        box.setDefaultButton(QMessageBox::Yes);
    }
    return box.exec();
}

}  // namespace

WindowDialogs::WindowDialogs(QWidget* owner, BottomPanel* statusBar)
    : owner_(owner), statusBar_(statusBar) {}

void WindowDialogs::showError(const QString& text) {
    showBox(owner_, QMessageBox::Critical, errorTitle(), text, QMessageBox::Ok);
}

void WindowDialogs::showWarning(const QString& text) {
    showBox(owner_, QMessageBox::Warning, warningTitle(), text, QMessageBox::Ok);
}

void WindowDialogs::showInformation(const QString& text) {
    showBox(owner_, QMessageBox::Information, informationTitle(), text, QMessageBox::Ok);
}

bool WindowDialogs::askYesNo(const QString& text, const QString& caption) {
    const QString title = caption.isEmpty() ? confirmTitle() : caption;
    return showBox(owner_, QMessageBox::Question, title, text,
                   QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool WindowDialogs::askWarningYesNo(const QString& text) {
    return showBox(owner_, QMessageBox::Warning, warningTitle(), text,
                   QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool WindowDialogs::askText(const QString& caption, const QString& prompt, QString& value) {
    bool accepted = false;
    const QString answer =
        QInputDialog::getText(owner_, caption, prompt, QLineEdit::Normal, value, &accepted);
    if (accepted) {
        value = answer;
    }
    return accepted;
}

bool WindowDialogs::chooseFileToOpen(QString& path) {
    const QString chosen = QFileDialog::getOpenFileName(owner_, QString(), path);
    if (chosen.isEmpty()) {
        return false;
    }
    path = chosen;
    return true;
}

bool WindowDialogs::chooseFolder(QString& path) {
    const QString chosen = QFileDialog::getExistingDirectory(owner_, QString(), path);
    if (chosen.isEmpty()) {
        return false;
    }
    path = chosen;
    return true;
}

bool WindowDialogs::chooseFileToSave(QString& path) {
    // The file writer asks its own overwrite question.
    const QString chosen = QFileDialog::getSaveFileName(owner_, QString(), path, QString(), nullptr,
                                                        QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty()) {
        return false;
    }
    path = chosen;
    return true;
}

void WindowDialogs::setStatusText(const QString& text) {
    if (statusBar_) {
        statusBar_->setInfoText(text);
    }
}

void WindowDialogs::setProgress(int percent) {
    if (statusBar_) {
        statusBar_->setProgress(percent);
    }
}

}  // namespace verimant
