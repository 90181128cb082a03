#pragma once

#include "update/busy_view.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>

class QLabel;

namespace verimant {

// Form3, the busy sign: a turning gear floating over the middle of the main window while long
// work runs. Borderless, always on top, no input; white is see-through, so only the gear shows.
// It animates on the GUI thread, so it moves only while the waiting code runs the event loop.
class BusyIndicator final : public QWidget, public BusyView {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 131;
    static constexpr int kClientHeight = 115;
    static constexpr int kInitialIntervalMs = 50;
    static constexpr int kMaximumPeriodMs = 1000;

    // `mainWindow` is the window the sign centres itself on; it may be null (then it stays put).
    explicit BusyIndicator(QWidget* mainWindow);

    void ShowBusy(int periodMs) override;
    void HideBusy() override;
    void CenterBusy();
    // One animation step; Timer1 calls it.
    void Timer1Timer();

    QTimer& frameTimer() { return Timer1_; }  // Timer1
    int frameIndex() const { return frameIndex_; }
    // Which frame picture is visible inside the window, or -1 when none is.
    int visibleFrame() const;

    // Shown (between ShowBusy and HideBusy), though stood aside while a box or dialog is open.
    bool busyShown() const { return wanted_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showFrame(int index, bool visible);
    void updateShape();
    bool boxOpen(const QWidget* closing) const;
    void standAsideFromBoxes(const QWidget* closing = nullptr);

    QPointer<QWidget> mainWindow_;
    std::array<QLabel*, 4> images_{};  // Image1 .. Image4
    std::array<QRegion, 4> shapes_;    // the non-white pixels of each picture
    QTimer Timer1_;
    int frameIndex_ = 0;
    bool wanted_ = false;
};

}  // namespace verimant
