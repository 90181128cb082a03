#include "update/config_trust.h"

#include "base/activity_log.h"
#include "update/config_signature.h"
#include "update/last_config_copy.h"
#include "update/trust_memory.h"
#include "update/update_source.h"

#include <QFile>

#include <optional>

namespace verimant {

namespace {

std::optional<QByteArray> readWhole(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

// The signature beside the configuration as the source has it.
struct FetchedSignature {
    bool failed = false;             // there may be one, but it could not be had
    std::optional<QByteArray> text;  // nothing: the source definitely has none
};

FetchedSignature fetchSignature(UpdateSource& source, const QString& serverName,
                                const QString& localPath) {
    const QString suffix = QString::fromLatin1(kSignatureSuffix);
    const QString localSignature = localPath + suffix;
    if (!source.fetchFile(serverName + suffix, localSignature)) {
        // A refused transfer, a link or a folder in its place must not pass for an absent one:
        // that would strip the signature of a set whose bytes were changed.
        return {!source.lastFetchFoundNoFile(), std::nullopt};
    }
    auto text = readWhole(localSignature);
    QFile::remove(localSignature);
    if (!text) {
        return {true, std::nullopt};
    }
    return {false, text};
}

ConfigTrust refuse(const QString& serverName, const QString& localPath, const QString& reason,
                   ActivityLog& log) {
    log.AddErrorLine(
        QStringLiteral("ERROR CONFIG SIGNATURE [") + serverName + QStringLiteral("] : ") + reason,
        0);
    QFile::remove(localPath);
    return ConfigTrust::Refused;
}

// Replay: a key's older configuration after a newer one was accepted. Empty when it may pass.
QString olderSetProblem(const SignatureVerdict& verdict, const TrustMemory& memory,
                        const TrustOptions& options, ActivityLog& log) {
    const qint64 newest = memory.newestSigningTime(verdict.publicKey);
    if (verdict.signedAt >= newest) {
        return {};
    }
    const QString text =
        QStringLiteral(
            "signed at %1 by key %2, older than the configuration signed at %3 "
            "that was accepted before")
            .arg(signingTimeText(verdict.signedAt), verdict.keyId, signingTimeText(newest));
    if (!options.allowOlderSet) {
        return text + QStringLiteral(" (--allow-older-set accepts it once)");
    }
    log.AddLine(QStringLiteral("WARNING OLDER CONFIG ACCEPTED (--allow-older-set) : ") + text);
    return {};
}

ConfigTrust judgeConfig(UpdateSource& source, const QString& serverName, const QString& localPath,
                        const QByteArray& config, const TrustOptions& options, ActivityLog& log,
                        QString* keyId) {
    TrustMemory memory;
    QString problem;
    if (!memory.load(&problem)) {
        return refuse(serverName, localPath, problem, log);
    }
    const QString sourceId = source.trustIdentity();
    const bool pinned = memory.isPinned(sourceId);
    const FetchedSignature fetched = fetchSignature(source, serverName, localPath);
    if (fetched.failed) {
        return refuse(serverName, localPath,
                      QStringLiteral("the signature is there but could not be fetched"), log);
    }
    QString keyProblem;
    const QList<QByteArray> keys = trustedPublicKeys(&keyProblem);
    if (!keyProblem.isEmpty()) {
        log.AddErrorLine(QStringLiteral("ERROR TRUSTED KEYS : ") + keyProblem, 0);
    }
    const SignatureVerdict verdict =
        judgeSignature(config, fetched.text, keys, options.required || pinned);
    if (verdict.state == SignatureState::Unsigned) {
        log.AddLine(QStringLiteral("WARNING CONFIG UNSIGNED [") + serverName + u']');
        return ConfigTrust::Unsigned;
    }
    if (verdict.state == SignatureState::Refused) {
        const bool unpinnedWouldPass = !fetched.text && !options.required;
        return refuse(serverName, localPath,
                      unpinnedWouldPass ? QStringLiteral("unsigned, but %1 served a signed "
                                                         "configuration before")
                                              .arg(sourceId)
                                        : verdict.reason,
                      log);
    }
    const QString older = olderSetProblem(verdict, memory, options, log);
    if (!older.isEmpty()) {
        return refuse(serverName, localPath, older, log);
    }
    if (!memory.rememberSigned(sourceId, verdict.publicKey, verdict.signedAt, &problem)) {
        return refuse(serverName, localPath, problem, log);
    }
    log.AddLine(QStringLiteral("CONFIG SIGNED [") + serverName + QStringLiteral("] KEY = ") +
                verdict.keyId + QStringLiteral(" SIGNED AT = ") +
                signingTimeText(verdict.signedAt));
    if (keyId != nullptr) {
        *keyId = verdict.keyId;
    }
    return ConfigTrust::Signed;
}

}  // namespace

bool policyRequiresSignature() {
    return loadSignaturePolicy().requiresSignature();
}

ConfigTrust checkConfigTrust(UpdateSource& source, const QString& serverName,
                             const QString& localPath, bool required, ActivityLog& log) {
    TrustOptions options;
    options.required = required;
    return checkConfigTrust(source, serverName, localPath, options, log);
}

ConfigTrust checkConfigTrust(UpdateSource& source, const QString& serverName,
                             const QString& localPath, const TrustOptions& options,
                             ActivityLog& log, QString* keyId) {
    const auto config = readWhole(localPath);
    if (!config) {
        return ConfigTrust::Refused;
    }
    const ConfigTrust trust =
        judgeConfig(source, serverName, localPath, *config, options, log, keyId);
    if (trust != ConfigTrust::Refused) {
        // Every accepted configuration passes here, from the server, a folder or a mirror run.
        keepLastConfigCopy(*config);
    }
    return trust;
}

}  // namespace verimant
