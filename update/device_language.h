#pragma once

namespace verimant {

struct DeviceSession;
class SettingsBlock;
struct LanguageCatalog;
class DeviceLanguageChooser;

// What SetDeviceLanguage returns besides the slot values of the choice (device_language_chooser.h):
// the chosen language could not be written, so the instrument keeps its old one.
inline constexpr int kDeviceLanguageWriteFailed = -4;

// Reads the instrument's display language, lets the user choose among the current packet's
// languages and, with `write`, writes the choice and restarts the main firmware so it takes
// effect. Instruments whose board variant byte is 40 to 59 keep the language as parameter 6,
// others as entry 6 of the settings block. Returns the new code, the choice's
// kDeviceLanguageUnchanged or kDeviceLanguageCancelled (nothing written, no restart), or
// kDeviceLanguageWriteFailed. Without `write` it only asks and returns the choice. Message boxes
// go through userDialogs(); every wait keeps the event loop running.
int SetDeviceLanguage(DeviceSession& session, SettingsBlock& settings,
                      const LanguageCatalog* catalog, DeviceLanguageChooser& chooser, bool write);

}  // namespace verimant
