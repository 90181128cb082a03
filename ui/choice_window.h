#pragma once

#include <QDialog>
#include <QPointer>

namespace verimant {

// What the two choice windows (language packet, device language) share: a window of its own
// without caption-bar buttons, centred on the main window, which stays disabled while the choice
// is open. The opener waits on a result slot that the window writes when it closes; the slot is
// always written, even when the window goes away while open, so no waiter is left hanging.
class ChoiceWindow : public QDialog {
    Q_OBJECT
public:
    ~ChoiceWindow() override;

    // Whether an opener waits for this window's answer.
    bool isChoiceOpen() const { return slot_ != nullptr; }

protected:
    ChoiceWindow(QWidget* mainWindow, const char* objectName, QSize clientSize, int cancelled);

    // Takes the slot for this opening; a choice still open is cancelled first.
    void beginChoice(int& slot, int pending);
    // Answers at once; nothing is shown.
    void answerAtOnce(int& slot, int value);
    // Disables the main window, shows this one centred on it and brings it to the front.
    void showOverMainWindow();
    // Writes the result, hides the window and gives the main window back; nothing happens when no
    // choice is open, so a late click cannot answer an opener twice.
    void endChoice(int result);

    // Called whenever the interface language changes, and by the openings.
    virtual void retranslate() = 0;
    void changeEvent(QEvent* event) override;
    // Esc and closing the window from outside cancel the choice.
    void reject() override;
    virtual void cancelChoice() = 0;

private:
    void centreOnMainWindow();

    QPointer<QWidget> mainWindow_;
    int* slot_ = nullptr;
    int cancelled_;
};

}  // namespace verimant
