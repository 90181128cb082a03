#pragma once

#include <QString>

#include <sys/types.h>
#include <vector>

namespace verimant::test {

// Root passes every permission check on files, so a refused open can only be seen as somebody
// else. The tests here run as root; they use the user nobody for the refused side.
bool runningAsRoot();
uid_t nobodyUid();
gid_t nobodyGid();

// While it lives, this process (every thread) opens files with nobody's ids and no
// supplementary groups; the real ids stay root's, so the destructor returns to them. Outside root
// it changes nothing: the caller then takes the permission away from the file itself.
class ActingAsNobody {
public:
    ActingAsNobody();
    ~ActingAsNobody();
    ActingAsNobody(const ActingAsNobody&) = delete;
    ActingAsNobody& operator=(const ActingAsNobody&) = delete;

private:
    bool active_ = false;
    std::vector<gid_t> groups_;
};

// The test's folders are private to their owner; this lets another user list the ports folder
// and follow its links, as the real /dev allows.
void openPortsFolderToOthers();

// For QProcess::setChildProcessModifier: the child gives up root for good before the program
// starts (no supplementary groups, nobody's group and user).
void becomeNobody();

// Takes read and write access to `devicePath` away from the user the refused side runs as: as
// root, the device goes to root and the group dialout with mode `mode` (nobody is no member);
// otherwise, with no group to hand it to, its mode becomes 0000. False when that fails.
bool refuseAccess(const QString& devicePath, mode_t mode = 0660);

}  // namespace verimant::test
