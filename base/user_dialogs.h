#pragma once

#include <QString>
#include <QtGlobal>

namespace verimant {

// How logic below the window asks the user. The window implements it with message boxes and
// dialogs, the command-line tool with the terminal, tests with scripted answers. Texts arrive
// already resolved to the interface language.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    virtual void showError(const QString& text) = 0;
    virtual void showWarning(const QString& text) = 0;
    virtual void showInformation(const QString& text) = 0;
    // A Yes/No question; true for Yes.
    virtual bool askYesNo(const QString& text, const QString& caption) = 0;
    // A Yes/No question in a warning box, for going on despite a failure; true for Yes.
    virtual bool askWarningYesNo(const QString& text) {
        return askYesNo(text, QStringLiteral("Warning"));
    }
    // A one-line text input preset with `value`; false on Cancel, `value` is then unchanged.
    virtual bool askText(const QString& caption, const QString& prompt, QString& value) = 0;
    // File choices; false when the user cancels.
    virtual bool chooseFileToOpen(QString& path) = 0;
    virtual bool chooseFileToSave(QString& path) = 0;
    // A folder choice, preset with `path`; false when the user cancels or nothing can choose.
    virtual bool chooseFolder(QString& path) {
        (void)path;
        return false;
    }
};

// Where long work shows how far it has come: the status bar's text and progress bar.
class ProgressView {
public:
    virtual ~ProgressView() = default;

    virtual void setStatusText(const QString& text) = 0;
    // 0 .. 100.
    virtual void setProgress(int percent) = 0;
    // The same progress in bytes, for views that show amounts and rates; called beside
    // setProgress where the byte counts are known. A smaller `done` starts a new transfer.
    virtual void setByteProgress(qint64 done, qint64 total) {
        static_cast<void>(done);
        static_cast<void>(total);
    }
};

// The process-wide dialogs and progress view. Until something is installed, a quiet default is in
// force: boxes go to standard error, questions are answered No/Cancel, progress is dropped.
UserDialogs& userDialogs();
ProgressView& progressView();
void installUserDialogs(UserDialogs* dialogs);  // nullptr restores the default
void installProgressView(ProgressView* view);   // nullptr restores the default

}  // namespace verimant
