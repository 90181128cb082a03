#pragma once

#include <QByteArray>
#include <QString>

namespace verimant {

// A small machine-wide file that decides what the tool trusts, read only when it may be: a
// regular file that other users cannot write, reached through no link of another user (root's
// and the caller's own links are fine). The checks are made on the opened file, so nothing can be
// swapped in between.
struct GuardedFileRead {
    enum class State {
        Missing,  // nothing at the path, not even a dangling link
        Read,     // `bytes` holds the content
        Refused,  // there, but not to be trusted or not readable: `problem` says why
    };
    State state = State::Missing;
    QByteArray bytes;
    QString problem;  // "not a regular file", "writable by other users", "cannot be read (...)"
};

GuardedFileRead readGuardedFile(const QString& path, qint64 maxBytes);

}  // namespace verimant
