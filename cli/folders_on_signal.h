#pragma once

#include <QString>

namespace verimant::cli {

// SIGINT, SIGTERM and SIGHUP end verimant-cli as they always did, by the signal, so a calling
// shell or service manager sees why; but first the run's temporary folders go, with the
// configuration, base and firmware files they hold. Installed once, at the program's start;
// commands that give a signal a meaning of their own (a stop after the request under way) take it
// over while they run and give it back afterwards.
void removeFoldersOnSignals();

// From a signal handler: removes the registered folders and ends the program by `signal`. Only
// system calls, so any handler may call it.
void removeRegisteredFoldersAndEnd(int signal);

// While it lives, `folder` (when not empty) is among the folders a terminating signal removes.
class FolderOnSignal {
public:
    explicit FolderOnSignal(const QString& folder);
    ~FolderOnSignal();
    FolderOnSignal(const FolderOnSignal&) = delete;
    FolderOnSignal& operator=(const FolderOnSignal&) = delete;

private:
    int slot_ = -1;
};

}  // namespace verimant::cli
