#include "cli/upgrade_interruption.h"

#include "device/write_cancel.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <atomic>
#include <climits>
#include <cstring>

namespace verimant::cli {

namespace {

std::atomic<int> interruptions{0};
// Filled before the handler is installed: the handler may neither allocate nor convert text.
char folderToRemove[PATH_MAX] = {};

constexpr char kNotice[] =
    "\nCtrl-C: the upgrade stops at its next safe point (a main-firmware write runs to its end "
    "and the instrument goes back into it); Ctrl-C again ends at once\n";

// Only system calls from here on: the handler may interrupt anything, even malloc. The run's
// folder holds its downloads; files of nested folders are removed a few levels deep.
void removeTreeAt(int parent, const char* name, int depth) {
    if (::unlinkat(parent, name, 0) == 0 || depth <= 0) {
        return;
    }
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    alignas(8) char entries[4096];
    long length;
    while ((length = ::syscall(SYS_getdents64, fd, entries, sizeof entries)) > 0) {
        for (long at = 0; at < length;) {
            const auto* entry = reinterpret_cast<const struct dirent64*>(entries + at);
            at += entry->d_reclen;
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                removeTreeAt(fd, entry->d_name, depth - 1);
            }
        }
    }
    ::close(fd);
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

extern "C" void interruptUpgrade(int signal) {
    if (interruptions.fetch_add(1) == 0) {
        requestRunStop();
        [[maybe_unused]] const ssize_t written =
            ::write(STDERR_FILENO, kNotice, sizeof kNotice - 1);
        return;
    }
    if (folderToRemove[0] != '\0') {
        removeTreeAt(AT_FDCWD, folderToRemove, 4);
    }
    // Ends as an interrupted program does, so a calling shell sees the signal.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);
}

}  // namespace

UpgradeInterruption::UpgradeInterruption(const QString& folder) {
    interruptions = 0;
    const QByteArray path = QFile::encodeName(folder);
    if (size_t(path.size()) < sizeof folderToRemove) {
        std::memcpy(folderToRemove, path.constData(), size_t(path.size()) + 1);
    }
    struct sigaction action {};
    action.sa_handler = &interruptUpgrade;
    sigemptyset(&action.sa_mask);
    // Restarted, so a Ctrl-C never turns into a failed read of the port or the terminal.
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previous_);
}

UpgradeInterruption::~UpgradeInterruption() {
    ::sigaction(SIGINT, &previous_, nullptr);
    clearRunStop();
    folderToRemove[0] = '\0';
}

bool UpgradeInterruption::requested() {
    return interruptions > 0;
}

}  // namespace verimant::cli
