#pragma once

#include <QString>

namespace verimant {

struct DeviceInfo;

// What the window's device-information group shows for a DeviceInfo: its caption and the seven
// value fields (named after the fields they fill).
struct DeviceInfoTexts {
    QString groupCaption;
    QString uid;               // ST_DI_UID
    QString serialNumber;      // ST_DI_Serial_Number
    QString boardVersion;      // ST_DI_Board_Version
    QString boardAssembling;   // ST_DI_Board_Assembling
    QString softwareExternal;  // ST_DI_SW_External
    QString softwareBoot;      // ST_DI_SW_Boot
    QString softwareMain;      // ST_DI_SW_KMT2
};

// Before the first good readout: the group's own caption in the interface language and empty
// fields. After it: "Verimant - " + model name (empty without one) and the record's text forms.
DeviceInfoTexts deviceInfoTexts(const DeviceInfo& info);

}  // namespace verimant
