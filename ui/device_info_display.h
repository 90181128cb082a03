#pragma once

class QWidget;

namespace verimant {

struct DeviceInfo;

// Writes a DeviceInfo into the window's device-information group: GroupBox_DeviceInfo's caption
// and the ST_DI_* value fields, found by their object names anywhere under `window`. True when the
// group and all seven fields were there; missing ones are skipped.
bool showDeviceInfo(QWidget& window, const DeviceInfo& info);

}  // namespace verimant
