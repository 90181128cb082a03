#pragma once

#include "update/signature_policy.h"

#include <QString>

namespace verimant {

class ActivityLog;
class UpdateSource;

// Whether the machine's policy requires signatures. Fails closed: a policy file that is there but
// cannot be read, trusted or understood requires them (update commands refuse to run on it before
// they ask this; see loadSignaturePolicy).
bool policyRequiresSignature();

// How far a fetched configuration may be trusted.
enum class ConfigTrust {
    Unsigned,  // usable; nothing vouches for it
    Signed,    // usable; every file it names must carry its SHA-256
    Refused,   // not usable: its local copy is gone
};

// What one command allows when it judges a configuration.
struct TrustOptions {
    bool required = false;       // a signature is required (command line or policy)
    bool allowOlderSet = false;  // an older signing time than one accepted before passes, once
};

// Fetches the signature published beside the configuration `serverName`, already fetched to
// `localPath`, and judges the pair under the trusted keys and what this user's tool remembers
// (TrustMemory): a source that once served a signed configuration never passes an unsigned one,
// and a key's configuration older than the newest it signed that was accepted is refused. Only a
// signature the source definitely does not have counts as none. Logs the verdict; a refused
// configuration's copy is removed, so nothing later can read the unsigned bytes. A signed one is
// remembered; `keyId`, when given, gets the signing key's short id. An accepted configuration
// replaces the user's last copy (lastConfigCopyPath), which the shell's completion reads.
ConfigTrust checkConfigTrust(UpdateSource& source, const QString& serverName,
                             const QString& localPath, const TrustOptions& options,
                             ActivityLog& log, QString* keyId = nullptr);
ConfigTrust checkConfigTrust(UpdateSource& source, const QString& serverName,
                             const QString& localPath, bool required, ActivityLog& log);

}  // namespace verimant
