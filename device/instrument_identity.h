#pragma once

#include "device/board_record.h"
#include "link/device_records.h"

#include <optional>

namespace verimant {

struct DeviceInfo;
struct DeviceSession;

// What tells one instrument from another: the serial number in its board record and its
// processor UID. A restart, or a USB instrument that comes back under another's port, can put a
// different instrument behind the same port between two steps of one run.
struct InstrumentIdentity {
    BoardRecord boardRecord;
    ProcessorUid uid{};

    bool sameInstrumentAs(const InstrumentIdentity& other) const;
};

InstrumentIdentity identityOf(const DeviceInfo& info);

// The board record as the instrument keeps it; reads the platform description anew, since the
// record's address comes from it.
bool readBoardRecord(DeviceSession& session, BoardRecord& record);

// Reads the identity of whatever answers on the port now. When it does not answer, logs an error
// line and shows an error box that name the port, and gives nothing.
std::optional<InstrumentIdentity> identifyInstrument(DeviceSession& session);

// Reads the identity again and compares it with the one the run started with. When another
// instrument answers, or none can be read, logs an error line and shows an error box that name
// the port, and returns false: nothing may be written then.
bool confirmSameInstrument(DeviceSession& session, const InstrumentIdentity& expected);

}  // namespace verimant
