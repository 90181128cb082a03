#pragma once

#include <QString>

namespace verimant {

// File names the update server hands out (a configuration's NAME, BASE_NAME) become local files
// only inside `folder`. A name may carry the server's own folders ("fw\kmt2.hex"): only its last
// piece is kept locally. A name that tries to leave the folder or cannot be a file name at all is
// refused: an empty name or last piece, ".", "..", a ".." piece anywhere, an absolute form
// ("/x", "\x", "C:x"), or a control character. Returns the local path, or an empty text with the
// reason in `problem`.
QString localPathForServerName(const QString& folder, const QString& serverName,
                               QString* problem = nullptr);

// The same refusals, for a folder laid out like the server: the name's server folders become
// subfolders of `folder` ("fw\kmt2.hex" is folder/fw/kmt2.hex).
QString folderPathForServerName(const QString& folder, const QString& serverName,
                                QString* problem = nullptr);

}  // namespace verimant
