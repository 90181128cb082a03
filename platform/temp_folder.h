#pragma once

#include <QString>

#include <sys/types.h>

namespace verimant {

// The system's temporary folder (TMPDIR when set), without a trailing separator; empty when it
// does not exist.
QString systemTempPath();

// The user's runtime folder ($XDG_RUNTIME_DIR, which the system makes for the user alone), without
// a trailing separator; empty when it is unset, relative or missing.
QString userRuntimePath();

// The tool's own folder, emptied at every start: <runtime>/pelma where there is a runtime folder,
// else <temp>/pelma-<uid>, one per user; empty when neither folder exists. In a shared temporary
// folder another local user could take the name first; the runtime folder is out of their reach.
QString toolTempFolder();

// Why a private folder cannot be used. Every refusal counts as "cannot be created": the tool
// downloads into the folder and writes the instrument from it, so a folder that someone else can
// reach would let them swap a file between the download and the write.
enum class PrivateFolderStatus {
    Ready,         // exists now, is a real folder, belongs to the user, closed to everyone else
    NoPath,        // empty path
    CannotCreate,  // missing and mkdir failed, or the path cannot be examined
    NotAFolder,    // a symbolic link, a file or anything else that is not a plain folder
    ForeignOwner,  // a folder of another user
    OpenToOthers,  // group or others have some access
};

// Creates `path` with mode 0700 when it is missing (its parent must exist) and checks that it is
// a folder of `owner` alone. Nothing is repaired: a folder that fails the check is left as it is.
PrivateFolderStatus preparePrivateFolder(const QString& path, uid_t owner);
PrivateFolderStatus preparePrivateFolder(const QString& path);  // owner: this process's user

// A short English reason for the log.
QString privateFolderProblem(PrivateFolderStatus status);

}  // namespace verimant
