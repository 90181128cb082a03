#pragma once

#include "base/user_dialogs.h"

#include <QQueue>
#include <QString>
#include <QStringList>

namespace verimant::test {

// Records every box and answers questions from a script, so paths that ask the user run headless.
// Installs itself for its lifetime.
class ScriptedDialogs final : public UserDialogs, public ProgressView {
public:
    struct Box {
        // "error", "warning", "information", "question", "warning question", "text"
        QString kind;
        QString text;
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;

    QList<Box> boxes;
    QQueue<bool> yesNoAnswers;    // empty: answer No
    QQueue<QString> textAnswers;  // empty: Cancel
    QQueue<QString> fileAnswers;  // empty: Cancel
    QStringList statusTexts;
    // What each text question and folder chooser started at, in order.
    QStringList offered;
    QList<int> progress;

    QStringList textsOf(const QString& kind) const;

    void showError(const QString& text) override;
    void showWarning(const QString& text) override;
    void showInformation(const QString& text) override;
    bool askYesNo(const QString& text, const QString& caption) override;
    bool askWarningYesNo(const QString& text) override;
    bool askText(const QString& caption, const QString& prompt, QString& value) override;
    bool chooseFileToOpen(QString& path) override;
    bool chooseFileToSave(QString& path) override;
    // Answered from fileAnswers, recorded as a "folder" box.
    bool chooseFolder(QString& path) override;
    void setStatusText(const QString& text) override;
    void setProgress(int percent) override;
};

}  // namespace verimant::test
