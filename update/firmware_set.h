#pragma once

#include <QString>

#include <cstdint>

namespace verimant {

class ActivityLog;
class UpdateConfig;
class UpdateSource;

// One firmware file of a set, as the configuration describes it.
struct FirmwarePart {
    QString versionText;
    std::uint16_t versionCode = 0;    // 0: invalid
    QString fileName;                 // the name on the update server
    std::int32_t expectedLength = 0;  // only the 100 % mark of the download progress
    QString sha256;                   // as the configuration gives it; empty: none given
};

// The main firmware and the external-flash data that fit one board, model and packet.
struct FirmwareSet {
    static constexpr std::int32_t kDefaultKmt2Length = 60000;
    static constexpr std::int32_t kDefaultEflLength = 8000000;

    FirmwarePart kmt2;
    FirmwarePart efl;

    void reset();
};

// "SOFT_SET:TRV-" + board number + ".V" + board version + "." + model name + "." + packet.
QString softSetSection(std::int32_t boardNumber, int boardVersion, const QString& modelName,
                       const QString& packet);

// Reads the set of `section` into config.firmwareSet() and fetches both files into `tempFolder`
// through `server`, each with its expected length as the progress total. A section that names no
// files fails silently and keeps the previous set; bad file data (a SHA256 that is not 64
// hexadecimal digits among it) is logged and resets the set; a failed fetch keeps what was read.
// A file whose section gives a SHA256 must match it: a mismatch is logged with both hashes, the
// fetched file is removed and the load fails.
bool loadFirmwareSet(UpdateConfig& config, const QString& section, UpdateSource& server,
                     const QString& tempFolder, ActivityLog& log);

}  // namespace verimant
