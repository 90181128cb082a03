#pragma once

#include <QObject>
#include <QPointer>

class QMenuBar;

namespace verimant {

// Opens the menu bar from the keyboard as desktop users expect: F10, or Alt pressed and released
// on its own, while the bar's window is active. (Alt with a letter is Qt's own mnemonic handling.)
class MenuBarKeys : public QObject {
    Q_OBJECT
public:
    explicit MenuBarKeys(QMenuBar* bar);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool forThisWindow(QObject* watched) const;
    void openBar();

    QPointer<QMenuBar> bar_;
    bool altAlone_ = false;
};

}  // namespace verimant
