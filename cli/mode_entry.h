#pragma once

namespace verimant::cli {

class CliRun;

enum class TargetMode { BootLoader, MainFirmware };

enum class ModeEntry { AlreadyRunning, Switched, Failed };

// Brings the instrument into `target`, restarting it only when it runs the other program. A
// failure has been logged and reported on standard error.
ModeEntry enterMode(CliRun& run, TargetMode target);

}  // namespace verimant::cli
