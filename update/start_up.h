#pragma once

#include "update/verimant_version.h"

#include <QString>

#include <cstdint>

namespace verimant {

class SingleInstanceLock;
class UpdateRun;

// The tool's build date as the caption shows it, beside its version (kOwnVersionText and
// kOwnVersion, generated from project() in the top CMakeLists.txt).
inline constexpr char kBuildDateText[] = " (29.06.2026)";
// The lock that keeps a second copy from running.
inline constexpr char kSingleInstanceName[] = "KMT2_Manager_Mutex";

// What start-up needs of the main window. The window implements it; tests record the calls.
class StartUpWindow {
public:
    virtual ~StartUpWindow() = default;

    // The device link: protocol and channels, no port chosen, no instrument connected.
    virtual void createDeviceLink() = 0;
    // Applies the stored interface language; every text from here on follows it.
    virtual void LoadLanguage() = 0;
    virtual void SetLogVisible(bool visible) = 0;
    virtual void setCaption(const QString& caption) = 0;
    // Timer_Connection: the connection manager starts finding the instrument.
    virtual void startConnectionTimer() = 0;
    // Ends the run: the message loop quits, or is never entered. The window is still destroyed
    // in the normal way, so the closing banner and the report follow.
    virtual void requestTermination() = 0;
};

enum class StartUpOutcome {
    Ready,       // every step ran; the connection timer runs
    Terminated,  // a step stopped the run and asked for termination; no later step ran
};

// The body of FormCreate: device link, stored language, single-instance check, hidden log, the
// private temporary folder emptied, the configuration fetched and opened, the start banner, the
// self-version check, the caption, the serial-number base fetched and loaded, the language
// catalogue, and last the connection timer. Boxes go through userDialogs(), download addresses
// to openAddress(). A step that cannot go on shows its box, asks for termination and returns.
StartUpOutcome runStartUp(StartUpWindow& window, SingleInstanceLock& lock, UpdateRun& run);

// "Pelma Verimant Manager <version> (<build date>)".
QString applicationCaption();

// The self-version check's verdict: a newer version than ours is published. An unreadable
// version (-2) or 0.0.0 never is.
bool toolOutdated(std::int32_t newestVersion);

// The warning an outdated tool shows, in the interface language.
QString outdatedToolText(std::int32_t newestVersion, const QString& upgradeUrl1);

}  // namespace verimant
