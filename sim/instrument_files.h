#pragma once

#include <QString>

namespace verimant::sim {

class Instrument;

// File names inside the save folder.
inline constexpr const char* kExternalFlashFile = "external_flash.bin";
inline constexpr const char* kProcessorFlashFile = "processor_flash.bin";
inline constexpr const char* kParametersFile = "parameters.txt";
inline constexpr const char* kSettingsFile = "settings.txt";
inline constexpr const char* kScreenTextsFile = "screen_texts.txt";

// Writes both flashes byte for byte, the parameters ("id=value" lines), both settings copies
// decoded ("copy c valid|invalid", then "index=value" lines) and the screen texts as sent (CP1251,
// each followed by 0x0A). Creates the folder. False with a reason when a file cannot be written.
bool saveInstrumentFiles(const Instrument& instrument, const QString& dir,
                         QString* error = nullptr);

}  // namespace verimant::sim
