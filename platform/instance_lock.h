#pragma once

#include <QString>

namespace verimant {

// Keeps a second copy of the tool from running beside the first. The lock is a file lock that the
// system drops when the holding process ends in any way, so a crash never leaves it stuck. The
// file lies beside the tool's folder, not in it, since start-up empties that folder: in the user's
// runtime folder where there is one, else in the shared system temporary folder.
class SingleInstanceLock {
public:
    // Why acquire failed.
    enum class Refusal {
        None,
        HeldElsewhere,  // another holder has the lock: another copy runs
        // The lock file cannot be made or is not this user's own (a link, another user's file, a
        // folder open to others): nothing can be said about other copies.
        Untrusted,
    };

    SingleInstanceLock() = default;
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // True when this object now holds the lock `name` (or already did); false when another
    // holder has it or the lock file cannot be trusted, which refusal() then tells apart.
    bool acquire(const QString& name);
    void release();
    bool held() const { return fd_ >= 0; }
    Refusal refusal() const { return refusal_; }

    // Where the lock `name` lives; empty when there is no runtime and no temporary folder.
    static QString lockPath(const QString& name);

private:
    int openTrustedFile(const QString& file);

    int fd_ = -1;
    Refusal refusal_ = Refusal::None;
};

}  // namespace verimant
