#pragma once

namespace verimant {

// The frame period every caller asks for.
inline constexpr int kBusyPeriodMs = 100;

// The animated sign that the tool is working, shown over the main window during long work. It
// moves only while the waiting code lets the event loop run.
class BusyView {
public:
    virtual ~BusyView() = default;

    // Shows the sign and starts the animation. A period of 1 to 1000 ms becomes the frame period;
    // other values keep the previous one; 0 hides the sign instead.
    virtual void ShowBusy(int periodMs) = 0;
    virtual void HideBusy() = 0;
};

}  // namespace verimant
