#pragma once

#include <QString>

namespace verimant {

// Keeps a second copy of the tool from running beside the first. The lock is a file lock that the
// system drops when the holding process ends in any way, so a crash never leaves it stuck. The
// file lies in the system temporary folder itself, not in the tool's folder that start-up empties.
class SingleInstanceLock {
public:
    SingleInstanceLock() = default;
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // True when this object now holds the lock `name` (or already did); false when another
    // holder has it or the lock file cannot be made.
    bool acquire(const QString& name);
    void release();
    bool held() const { return fd_ >= 0; }

    // Where the lock `name` lives; empty when there is no temporary folder.
    static QString lockPath(const QString& name);

private:
    int fd_ = -1;
};

}  // namespace verimant
