#include "tests/support/scripted_dialogs.h"

namespace verimant::test {

ScriptedDialogs::ScriptedDialogs() {
    installUserDialogs(this);
    installProgressView(this);
}

ScriptedDialogs::~ScriptedDialogs() {
    installUserDialogs(nullptr);
    installProgressView(nullptr);
}

QStringList ScriptedDialogs::textsOf(const QString& kind) const {
    QStringList texts;
    for (const Box& box : boxes) {
        if (box.kind == kind) {
            texts << box.text;
        }
    }
    return texts;
}

void ScriptedDialogs::showError(const QString& text) {
    boxes.append({"error", text});
}
void ScriptedDialogs::showWarning(const QString& text) {
    boxes.append({"warning", text});
}
void ScriptedDialogs::showInformation(const QString& text) {
    boxes.append({"information", text});
}

bool ScriptedDialogs::askYesNo(const QString& text, const QString&) {
    boxes.append({"question", text});
    return !yesNoAnswers.isEmpty() && yesNoAnswers.dequeue();
}

bool ScriptedDialogs::askWarningYesNo(const QString& text) {
    boxes.append({"warning question", text});
    return !yesNoAnswers.isEmpty() && yesNoAnswers.dequeue();
}

bool ScriptedDialogs::askText(const QString&, const QString& prompt, QString& value) {
    boxes.append({"text", prompt});
    offered.append(value);
    if (textAnswers.isEmpty()) {
        return false;
    }
    value = textAnswers.dequeue();
    return true;
}

bool ScriptedDialogs::chooseFileToOpen(QString& path) {
    if (fileAnswers.isEmpty()) {
        return false;
    }
    path = fileAnswers.dequeue();
    return true;
}

bool ScriptedDialogs::chooseFileToSave(QString& path) {
    return chooseFileToOpen(path);
}

bool ScriptedDialogs::chooseFolder(QString& path) {
    boxes.append({"folder", path});
    return chooseFileToOpen(path);
}

void ScriptedDialogs::setStatusText(const QString& text) {
    statusTexts.append(text);
}
void ScriptedDialogs::setProgress(int percent) {
    progress.append(percent);
}

}  // namespace verimant::test
