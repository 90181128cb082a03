#pragma once

#include "device/board_record.h"
#include "device/ext_flash_version.h"
#include "link/device_records.h"

#include <QString>

#include <cstdint>

namespace verimant {

struct DeviceSession;

// What the instrument reported about itself at the last readout. One per run; `valid` stays true
// once a readout has succeeded, and a failed readout may leave fields partly overwritten.
struct DeviceInfo {
    bool valid = false;
    BoardRecord boardRecord;
    ProcessorUid uid{};
    std::uint16_t eflVersion = 0;  // 0 when unread or unreadable
    bool eflVersionRead = false;   // the boot loader cannot tell it
    ProgramInfo programInfo;
    QString modelName;  // empty when the configuration names none
};

// Names instrument variants by their model key ("Y23") from the update configuration's
// SERIAL_NUMBER section; empty when it has none.
class ModelNameLookup {
public:
    virtual ~ModelNameLookup() = default;
    virtual QString modelName(const QString& modelKey) const = 0;
};

// The lookup in force while no configuration has been read: every name is empty.
const ModelNameLookup& noModelNames();

// Reads the instrument's identity and versions into `info`, logging each step. True on success;
// an external-flash version that cannot be read only zeroes that version. An instrument in its
// boot loader gets a warning box and keeps its previous external-flash version.
bool DeviceInformation_Get(DeviceSession& session, DeviceInfo& info, const ModelNameLookup& names);

}  // namespace verimant
