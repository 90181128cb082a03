#pragma once

#include <QByteArray>
#include <QString>

namespace verimant {

// Appends `bytes` to the file `relativePath` ("/"-separated) below `folder`, making the missing
// folders on the way. No symbolic link below `folder` is followed, at any level, and only a plain
// file with no other name is written: a link swapped in between a check and the open cannot carry
// the bytes out of the folder. False, with nothing written, when any of that fails.
bool appendInsideFolder(const QString& folder, const QString& relativePath,
                        const QByteArray& bytes);

// Creates `path` for writing with mode 0600 from the first instant, whatever the umask; never
// over an existing file or through a link. False when it exists or cannot be written.
bool writeNewPrivateFile(const QString& path, const QByteArray& bytes);

// Gives the file `from` the second name `to` (a hard link); false where the file system has none.
bool linkFile(const QString& from, const QString& to);

// Flushes a file's or a folder's entries to the disk, so a rename that follows cannot overtake
// the bytes it publishes.
bool syncToDisk(const QString& path);

}  // namespace verimant
