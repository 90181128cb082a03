#pragma once

#include "base/user_dialogs.h"
#include "cli/progress_bar.h"

#include <QElapsedTimer>

#include <cstdio>
#include <functional>

namespace verimant::cli {

// Message boxes as one line on standard error, starting with their kind; questions answered Yes by
// --yes, otherwise asked on the terminal (No when there is no terminal to ask). Progress goes to
// standard error, rewritten in place on a terminal, where transfers with known sizes show a bar.
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
    void setByteProgress(qint64 done, qint64 total) override;

    // Ends a progress line left open on a terminal, so that other output starts on a line of its
    // own.
    void endProgressLine();

    // Status lines only, as in a pipe: a bar would not be one line for whoever reads the output.
    void disableProgressBar() { barAllowed_ = false; }
    // True once a question went unanswered because there was no terminal to ask on.
    bool questionUnanswered() const { return questionUnanswered_; }
    // Told of every box shown, with its kind ("error", "warning", "information", "question").
    void setMessageObserver(std::function<void(const QString&, const QString&)> observer) {
        observer_ = std::move(observer);
    }

private:
    void printBox(const char* kind, const QString& text);
    void drawBar();
    bool readAnswer(QString& answer);

    bool assumeYes_;
    std::FILE* input_;
    std::FILE* output_;
    bool outputIsTerminal_;
    bool progressLineOpen_ = false;
    bool questionUnanswered_ = false;
    QString statusText_;
    // The last status text with words besides figures, figures taken out: the bar's label.
    QString barLabel_;
    bool barAllowed_;
    bool barActive_ = false;
    bool finishedBarShown_ = false;
    qint64 barStartDone_ = 0;
    qint64 barDone_ = 0;
    qint64 barTotal_ = 0;
    QElapsedTimer barClock_;
    RedrawThrottle barThrottle_{200};
    std::function<void(const QString&, const QString&)> observer_;
};

}  // namespace verimant::cli
