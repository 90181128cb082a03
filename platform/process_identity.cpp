#include "platform/process_identity.h"

#include <QSysInfo>

#include <pwd.h>
#include <signal.h>
#include <unistd.h>
#include <cerrno>

namespace verimant {

QString currentUserName() {
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr) {
        return QString::fromLocal8Bit(entry->pw_name);
    }
    return QString::number(getuid());
}

QString currentMachineName() {
    return QSysInfo::machineHostName();
}

qint64 currentProcessId() {
    return qint64(getpid());
}

bool processAlive(qint64 pid) {
    if (pid <= 0) {
        return false;
    }
    // EPERM: it exists, under another user.
    return kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

}  // namespace verimant
