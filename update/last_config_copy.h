#pragma once

#include <QByteArray>
#include <QString>

namespace verimant {

// $XDG_CACHE_HOME/verimant-manager (~/.cache/verimant-manager without it): what the tool keeps only
// to help its user, safe to delete at any time.
QString userCacheFolder();

// The copy of the last update configuration that was fetched and accepted, from the server or a
// folder: <cache folder>/verimant_version_3.ini. The shell's completion offers its packets.
QString lastConfigCopyPath();

// Replaces the copy with `config` whole, so that a reader sees the old bytes or the new ones, in a
// folder and a file that only this user can reach. A folder that is a link or open to others is
// left alone. False when nothing was written; no run depends on the copy.
bool keepLastConfigCopy(const QByteArray& config);

}  // namespace verimant
