#pragma once

#include "base/user_dialogs.h"

#include <QPointer>
#include <QWidget>

namespace verimant {

class BottomPanel;

// How the logic below the window reaches the user while the window runs: modal message boxes
// with the toolkit's standard titles and buttons, the text-input and file dialogs, and the status
// bar's text and progress bar.
class WindowDialogs final : public UserDialogs, public ProgressView {
public:
    WindowDialogs(QWidget* owner, BottomPanel* statusBar);

    void showError(const QString& text) override;
    void showWarning(const QString& text) override;
    void showInformation(const QString& text) override;
    bool askYesNo(const QString& text, const QString& caption) override;
    bool askWarningYesNo(const QString& text) override;
    bool askText(const QString& caption, const QString& prompt, QString& value) override;
    bool chooseFileToOpen(QString& path) override;
    bool chooseFileToSave(QString& path) override;
    bool chooseFolder(QString& path) override;
    void setStatusText(const QString& text) override;
    void setProgress(int percent) override;

private:
    QPointer<QWidget> owner_;
    QPointer<BottomPanel> statusBar_;
};

}  // namespace verimant
