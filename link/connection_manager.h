#pragma once

#include "link/connection_status_view.h"
#include "link/link_flags.h"
#include "link/port_scan_list.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class QTimer;

namespace verimant {

class ActivityLog;
class DeviceProtocol;

// Finds the instrument and watches the link. Every tick of the connection timer it either tries
// the next candidate port (automatic scanning, or the port the user typed) or re-tests the port
// that answered, publishes deviceConnected in the link flags and paints the status view. It never
// reads the device information. Everything runs on the GUI thread; a tick that arrives while a
// link test waits for its answer returns at once.
class ConnectionManager : public QObject {
    Q_OBJECT
public:
    static constexpr int kManualMode = 1;
    static constexpr int kAutoWatching = 2;
    static constexpr int kAutoScanning = 21;
    static constexpr int kTickIntervalMs = 500;
    static constexpr int kBaudRate = 230400;
    static constexpr int kHighestManualPort = 250;

    static constexpr std::uint32_t kOkColour = 0x00FF00;
    static constexpr std::uint32_t kErrColour = 0x0000FF;
    static constexpr std::uint32_t kNokColour = 0xFFFFFF;

    // What became of a typed port number.
    enum class PortNumberEntry { Cancelled, Rejected, Accepted };

    // `flags` is shared with the rest of the tool, which reads deviceConnected and clears
    // linkCheckEnabled during firmware transfers. The protocol's port is opened and closed here.
    ConnectionManager(DeviceProtocol& protocol, LinkFlags& flags, ActivityLog& log,
                      QObject* parent = nullptr);

    void setStatusView(ConnectionStatusView* view) { view_ = view; }
    // Lets `timer` drive the manager: its interval becomes kTickIntervalMs and every timeout runs
    // tick(). Starting and stopping it stays with the owner.
    void attachTimer(QTimer& timer);

    int connectionMode() const { return connectionMode_; }
    int candidatePort() const { return candidatePort_; }
    int connectedPort() const { return connectedPort_; }
    int manualPortNumber() const { return manualPortNumber_; }
    int scanPosition() const { return scanPosition_; }
    bool blink() const { return blink_; }
    bool busy() const { return busy_; }
    bool deviceConnected() const { return flags_.deviceConnected; }
    LinkFlags& flags() { return flags_; }
    const PortScanList& portScanList() const { return scanList_; }

    // Waits, with the event loop (and so the connection timer) running, until an instrument
    // answers or `timeoutMs` passes; whether one is connected.
    bool waitForDevice(int timeoutMs);

    // Runs `work` now, or, while a tick is under way further down the stack, from the event loop
    // once that tick has ended. A link test's wait lets user actions through; long work started
    // from there would keep the tick (and so every later tick) from running until it ends, and
    // nothing would find an instrument that restarts meanwhile.
    void runOutsideTick(std::function<void()> work);

    // The automatic entry: scan for the instrument, or keep the one connected.
    void chooseAutomatic();
    // The manual mode on `port` (0 .. 250), as an accepted number dialog leaves it; false and no
    // change for a number outside that range.
    bool chooseManualPort(int port);
    // The number dialog: asks through userDialogs() preset with the manual port number, shows the
    // format error for a number outside 0 .. 250 and switches to manual mode for one inside.
    PortNumberEntry askManualPortNumber();
    // "Вручную COM" / "Manual COM" directly followed by the manual port number.
    QString manualCaption() const;
    // The port the number dialog starts at: the one connected, else the last number chosen.
    int currentPort() const { return connectedPort_ >= 0 ? connectedPort_ : manualPortNumber_; }
    // In automatic mode, the present ports that the search leaves alone (they existed at the
    // start); empty in manual mode.
    QList<int> portsLeftAlone() const;

    // A typed port number read as a decimal integer; -1 when the text is not one.
    static int parsePortNumber(const QString& text);

public slots:
    // One tick of the connection timer.
    void tick();

private:
    void tickByMode();
    void runWorkAfterTick();
    void tickManual();
    void tickWatching();
    void tickScanning();
    // Tries the candidate in the scan; true when it answered.
    bool tryScanCandidate();

    // 1 answered (or link checks are off), 0 no or wrong answer, below 0 port or protocol not
    // ready.
    int linkTest();
    // Closes a port whose line has hung up, leaving watching for scanning; true when it did.
    bool dropHungUpLine();
    // Runs the link test; a failure marks the link lost (below 0) or drops it (0).
    bool linkAnswered();
    bool openCandidate();
    void markConnected();
    void markLost();
    void dropLink();
    void show(LinkState state);

    DeviceProtocol& protocol_;
    LinkFlags& flags_;
    ActivityLog& log_;
    ConnectionStatusView* view_ = nullptr;
    PortScanList scanList_;

    int connectionMode_ = kAutoWatching;
    std::int32_t candidatePort_ = -1;
    std::int32_t connectedPort_ = -1;
    int manualPortNumber_ = 1;
    int scanPosition_ = 0;
    bool blink_ = false;
    bool busy_ = false;
    // Counts menu choices, so that a tick can tell that one was made inside its link test's wait.
    int choiceCount_ = 0;
    std::vector<std::function<void()>> afterTick_;
};

}  // namespace verimant
