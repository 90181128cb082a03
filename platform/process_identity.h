#pragma once

#include <QString>

namespace verimant {

// Who runs this process and where: what a record of a run needs to tell one bench and one
// operator from another, and whether a recorded process is still at work.
QString currentUserName();
QString currentMachineName();
qint64 currentProcessId();

// True while a process with this id exists on this machine (also one of another user).
bool processAlive(qint64 pid);

}  // namespace verimant
