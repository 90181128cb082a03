#pragma once

#include <QString>

namespace verimant {

class ActivityLog;
class UpdateSource;

// The machine's policy file; VERIMANT_POLICY_FILE replaces the path (for tests).
QString policyFilePath();
// Whether the policy file says RequireSignedConfiguration=true. A missing file requires nothing.
bool policyRequiresSignature();

// How far a fetched configuration may be trusted.
enum class ConfigTrust {
    Unsigned,  // usable; nothing vouches for it
    Signed,    // usable; every file it names must carry its SHA-256
    Refused,   // not usable: its local copy is gone
};

// Fetches the signature published beside the configuration `serverName`, already fetched to
// `localPath`, and judges the pair under the trusted keys. Logs the verdict; a refused
// configuration's copy is removed, so nothing later can read the unsigned bytes.
ConfigTrust checkConfigTrust(UpdateSource& source, const QString& serverName,
                             const QString& localPath, bool required, ActivityLog& log);

}  // namespace verimant
