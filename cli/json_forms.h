#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <cstdint>

namespace verimant {
struct DeviceInfo;
struct WriteOptions;
}  // namespace verimant

namespace verimant::cli {

// The instrument's readout in the texts the log shows: "port", "serial", "uid", "board",
// "assembling", "boot", "kmt2", "efl".
QJsonObject deviceInfoJson(const DeviceInfo& info, int port);

// What an upgrade to the set's versions changes: one {"part", "from", "to"} for each of KMT2 and
// EFL whose version differs, in the order the log lists them.
QJsonArray upgradeChangesJson(const DeviceInfo& info, std::uint16_t setMain, std::uint16_t setEfl);

class JsonResult;

// What write-kmt2 and write-efl were asked to do: "part", "file", "verify".
void noteWriteStart(JsonResult& json, const char* part, const QString& file,
                    const WriteOptions& options);
// "result": "written", "cancelled" (Ctrl-C) or "failed".
void noteWriteResult(JsonResult& json, bool written);

}  // namespace verimant::cli
