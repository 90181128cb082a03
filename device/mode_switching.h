#pragma once

namespace verimant {

struct DeviceSession;

// A restarted instrument is looked for once a second, for at most this many seconds, after a
// first second in which it is still going down.
inline constexpr int kModeSwitchPauseMs = 1000;
inline constexpr int kModeSwitchAttempts = 30;

// Results of the mode query and of the two switches.
inline constexpr int kMainFirmwareRunning = 1;
inline constexpr int kBootLoaderRunning = 0;
inline constexpr int kModeSwitched = 0;
inline constexpr int kModeSwitchedIntoOther = -2;

// Which program the instrument runs: 1 the main firmware, 0 the boot loader, -1 when the program
// information cannot be read. Logs both versions.
int Device_Is_Booter_Or_KMT2(DeviceSession& session);

// Restart the instrument into its boot loader / its main firmware and wait until the connection
// manager has found it again (it runs inside the waits and sets deviceConnected). 0 when it runs
// the program asked for, -2 when it came back running the other one, -1 when the reset was not
// answered, the instrument did not come back, or its program could not be read.
int Device_goto_BOOT(DeviceSession& session);
int Device_GoTo_KMT2(DeviceSession& session);

}  // namespace verimant
