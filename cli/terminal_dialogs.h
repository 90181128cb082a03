#pragma once

#include "base/user_dialogs.h"

#include <cstdio>

namespace verimant::cli {

// Message boxes as one line on standard error, starting with their kind; questions answered Yes by
// --yes, otherwise asked on the terminal (No when there is no terminal to ask). Progress goes to
// standard error, rewritten in place on a terminal.
class TerminalDialogs final : public UserDialogs, public ProgressView {
public:
    TerminalDialogs(bool assumeYes, std::FILE* input, std::FILE* output);

    void showError(const QString& text) override;
    void showWarning(const QString& text) override;
    void showInformation(const QString& text) override;
    bool askYesNo(const QString& text, const QString& caption) override;
    bool askText(const QString& caption, const QString& prompt, QString& value) override;
    bool chooseFileToOpen(QString& path) override;
    bool chooseFileToSave(QString& path) override;
    void setStatusText(const QString& text) override;
    void setProgress(int percent) override;

    // Ends a progress line left open on a terminal, so that other output starts on a line of its
    // own.
    void endProgressLine();

private:
    void printBox(const char* kind, const QString& text);
    bool readAnswer(QString& answer);

    bool assumeYes_;
    std::FILE* input_;
    std::FILE* output_;
    bool outputIsTerminal_;
    bool progressLineOpen_ = false;
    QString statusText_;
};

}  // namespace verimant::cli
