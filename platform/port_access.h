#pragma once

#include <QString>

namespace verimant {

// Serial devices belong to a group (on Debian: dialout) whose members may read and write them;
// anyone else is refused with EACCES. These say whether this user may use a device, and what to
// do about it when not, so the refusal does not look like a missing or silent instrument.

// True for the errors of open() that mean "not allowed" rather than "not there" or "busy".
bool isPermissionError(int error);

// Whether this process may open `devicePath` for reading and writing. A device that does not
// exist counts as allowed: that is a different problem.
bool userMayOpen(const QString& devicePath);

// Whether another process holds `devicePath` exclusively (TIOCEXCL or flock, as the tool's own
// SerialDevice does), so that it cannot be opened now. Opens the device for a moment to find out:
// meant for after an open failed, not for surveying ports.
bool portHeldByAnother(const QString& devicePath);

// Name of the group that owns `devicePath` (after links), its number when it has no name, empty
// when the device cannot be looked at.
QString deviceGroupName(const QString& devicePath);

// One line that says why `devicePath` cannot be opened and how to get access: join the owning
// group (and log in again), or, when the group has no access either, ask for it.
QString portPermissionAdvice(const QString& devicePath);

}  // namespace verimant
