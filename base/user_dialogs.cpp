#include "base/user_dialogs.h"

#include <cstdio>

namespace verimant {

namespace {

// In force until the window, the command-line tool or a test installs its own.
class QuietDialogs final : public UserDialogs {
public:
    void showError(const QString& text) override { print("Error", text); }
    void showWarning(const QString& text) override { print("Warning", text); }
    void showInformation(const QString& text) override { print("Information", text); }
    bool askYesNo(const QString& text, const QString&) override {
        print("Question (answered No)", text);
        return false;
    }
    bool askText(const QString&, const QString&, QString&) override { return false; }
    bool chooseFileToOpen(QString&) override { return false; }
    bool chooseFileToSave(QString&) override { return false; }

private:
    static void print(const char* kind, const QString& text) {
        std::fprintf(stderr, "%s: %s\n", kind, qPrintable(text));
    }
};

class NoProgress final : public ProgressView {
public:
    void setStatusText(const QString&) override {}
    void setProgress(int) override {}
};

QuietDialogs quietDialogs;
NoProgress noProgress;
UserDialogs* installedDialogs = &quietDialogs;
ProgressView* installedProgress = &noProgress;

}  // namespace

UserDialogs& userDialogs() {
    return *installedDialogs;
}
ProgressView& progressView() {
    return *installedProgress;
}

void installUserDialogs(UserDialogs* dialogs) {
    installedDialogs = dialogs ? dialogs : &quietDialogs;
}

void installProgressView(ProgressView* view) {
    installedProgress = view ? view : &noProgress;
}

}  // namespace verimant
