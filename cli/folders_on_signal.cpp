#include "cli/folders_on_signal.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>

namespace verimant::cli {

namespace {

// A run holds a folder or two at once (its downloads, a mirror's work folder).
constexpr int kSlots = 8;
constexpr int kNestingLevels = 4;

enum SlotState : int { kFree, kFilling, kReady };

// Paths are copied in before a slot is marked ready: the handler may neither allocate nor convert
// text, and only ever reads complete paths.
struct FolderSlot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX] = {};
};

FolderSlot folderSlots[kSlots];

// Only system calls from here on: the handler may interrupt anything, even malloc.
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

extern "C" void removeFoldersAndEnd(int signal) {
    removeRegisteredFoldersAndEnd(signal);
}

}  // namespace

void removeRegisteredFoldersAndEnd(int signal) {
    for (FolderSlot& slot : folderSlots) {
        if (slot.state.load() == kReady) {
            removeTreeAt(AT_FDCWD, slot.path, kNestingLevels);
        }
    }
    // Blocked until the handler returns, then ends the program with the default action.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);
}

void removeFoldersOnSignals() {
    struct sigaction action {};
    action.sa_handler = &removeFoldersAndEnd;
    sigemptyset(&action.sa_mask);
    // One handler at a time: a second signal waits until the first has removed the folders.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&action.sa_mask, signal);
    }
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

FolderOnSignal::FolderOnSignal(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    if (path.isEmpty() || size_t(path.size()) >= PATH_MAX) {
        return;
    }
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (folderSlots[i].state.compare_exchange_strong(expected, kFilling)) {
            std::memcpy(folderSlots[i].path, path.constData(), size_t(path.size()) + 1);
            folderSlots[i].state.store(kReady);
            slot_ = i;
            return;
        }
    }
}

FolderOnSignal::~FolderOnSignal() {
    if (slot_ >= 0) {
        folderSlots[slot_].state.store(kFree);
    }
}

}  // namespace verimant::cli
