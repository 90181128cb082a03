// verify-config: who signed a configuration, whether this machine trusts that key, and whether
// the tool would take the configuration as it stands.
#include "cli/cli_command.h"
#include "cli/cli_commands.h"
#include "cli/cli_run.h"
#include "cli/signing_files.h"

#include "update/config_signature.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace verimant::cli {

namespace {

const QString kTrustAdvice = QStringLiteral(
    "A key is trusted through VERIMANT_TRUSTED_KEYS (comma-separated base64 public keys, for a "
    "try) or built into the maker's tool (cmake -DVERIMANT_BUILT_IN_KEYS=...)");

int refuse(CliRun& run, const char* verdict, const QString& text) {
    run.json().set(QStringLiteral("verdict"), QLatin1String(verdict));
    run.dialogs().showError(text);
    return kExitFailure;
}

const TrustedKey* findTrusted(const QList<TrustedKey>& trusted, const QByteArray& key) {
    for (const TrustedKey& entry : trusted) {
        if (entry.publicKey == key) {
            return &entry;
        }
    }
    return nullptr;
}

QString trustedKeysText(const QList<TrustedKey>& trusted) {
    QStringList names;
    for (const TrustedKey& entry : trusted) {
        names << QStringLiteral("%1 (%2)").arg(keyShortId(entry.publicKey), entry.origin);
    }
    return names.isEmpty() ? QStringLiteral("this machine trusts no key")
                           : QStringLiteral("this machine trusts ") + names.join(u", ");
}

QJsonArray trustedKeysDocument(const QList<TrustedKey>& trusted) {
    QJsonArray keys;
    for (const TrustedKey& entry : trusted) {
        keys.append(QJsonObject{{QStringLiteral("key"), keyShortId(entry.publicKey)},
                                {QStringLiteral("origin"), entry.origin}});
    }
    return keys;
}

// --key names the maker's key, public or secret half: the one key beyond the trusted ones a
// signature can be checked against, and so named when it made the signature.
std::optional<QByteArray> givenKey(CliRun& run, bool& unusable) {
    if (!run.options().isSet(QStringLiteral("key"))) {
        return std::nullopt;
    }
    const QString path = run.options().value(QStringLiteral("key"));
    const QByteArray key = publicKeyOf(readKeyFile(path));
    unusable = key.isEmpty();
    if (unusable) {
        run.dialogs().showError(
            QStringLiteral("%1 holds no key: give the NAME.pub (or NAME.key) that keygen wrote")
                .arg(path));
        return std::nullopt;
    }
    run.json().set(QStringLiteral("given_key"), keyShortId(key));
    return key;
}

// A configuration signed by a trusted key is still refused where it leaves a file unhashed.
bool vouchesForEveryFile(CliRun& run, const QString& configPath, const QByteArray& config) {
    const QStringList problems = unhashedFiles(run, config);
    if (problems.isEmpty()) {
        return true;
    }
    run.dialogs().showError(
        QStringLiteral("%1: the tool refuses it all the same, as it leaves files without a hash: "
                       "%2. 'verimant-cli sign-config --hash-from DIR --key NAME.key %1' fills "
                       "them and signs again")
            .arg(configPath, problems.join(QStringLiteral("; "))));
    return false;
}

// The signature verified under `signer`: name it, and say whether this machine trusts it.
int judgeSigner(CliRun& run, const QString& configPath, const QByteArray& config,
                const SignatureFile& signature, const QByteArray& signer,
                const QList<TrustedKey>& trusted) {
    const QString keyId = keyShortId(signer);
    const QString publicKey = QString::fromLatin1(signer.toBase64());
    const QString time = signingTimeText(signature.signedAt);
    const TrustedKey* trustedEntry = findTrusted(trusted, signer);
    run.json().setAll({{QStringLiteral("key"), keyId},
                       {QStringLiteral("public_key"), publicKey},
                       {QStringLiteral("trusted"), trustedEntry != nullptr}});
    if (trustedEntry == nullptr) {
        const int exitCode =
            refuse(run, "untrusted",
                   QStringLiteral("%1: signed by key %2 at %3, which this machine does not "
                                  "trust. To trust it for a try, add it to "
                                  "VERIMANT_TRUSTED_KEYS (export VERIMANT_TRUSTED_KEYS=%4); "
                                  "for good, build it into the maker's tool "
                                  "(cmake -DVERIMANT_BUILT_IN_KEYS=%4)")
                       .arg(configPath, keyId, time, publicKey));
        vouchesForEveryFile(run, configPath, config);
        return exitCode;
    }
    const bool hashed = vouchesForEveryFile(run, configPath, config);
    run.json().setAll({{QStringLiteral("verdict"), QStringLiteral("trusted")},
                       {QStringLiteral("key_origin"), trustedEntry->origin},
                       {QStringLiteral("signed"), true}});
    sayLine(run, QStringLiteral("%1: signed by trusted key %2 (%3) at %4")
                     .arg(configPath, keyId, trustedEntry->origin, time));
    return hashed ? kExitSuccess : kExitFailure;
}

}  // namespace

int runVerifyConfigCommand(CliRun& run, const QStringList& arguments) {
    const QString configPath = arguments.at(0);
    const QString signaturePath = configPath + QString::fromLatin1(kSignatureSuffix);
    run.json().setAll({{QStringLiteral("config"), configPath},
                       {QStringLiteral("signature"), signaturePath},
                       {QStringLiteral("signed"), false}});
    const auto config = readSmallFile(configPath);
    if (!config) {
        run.dialogs().showError(QStringLiteral("cannot read %1").arg(configPath));
        return kExitFailure;
    }
    bool keyUnusable = false;
    const std::optional<QByteArray> given = givenKey(run, keyUnusable);
    if (keyUnusable) {
        return kExitFailure;
    }
    const QFileInfo signatureFile(signaturePath);
    if (!signatureFile.exists() && !signatureFile.isSymLink()) {
        return refuse(run, "unsigned",
                      QStringLiteral("%1 has no signature: there is no %2 beside it "
                                     "('verimant-cli sign-config --key NAME.key %1' makes one)")
                          .arg(configPath, signaturePath));
    }
    const auto text = readSmallFile(signaturePath);
    if (!text) {
        return refuse(run, "unreadable", QStringLiteral("cannot read %1").arg(signaturePath));
    }
    const auto signature = parseSignatureFile(*text);
    if (!signature) {
        return refuse(run, "malformed",
                      QStringLiteral("%1 is not a signature: neither a 'signed TIME' line and "
                                     "a base64 line, nor the base64 line alone")
                          .arg(signaturePath));
    }
    run.json().set(QStringLiteral("signed_at"), signingTimeText(signature->signedAt));
    QString keyProblem;
    const QList<TrustedKey> trusted = trustedKeysWithOrigin(&keyProblem);
    if (!keyProblem.isEmpty()) {
        run.dialogs().showError(QStringLiteral("trusted keys: ") + keyProblem);
    }
    run.json().set(QStringLiteral("trusted_keys"), trustedKeysDocument(trusted));
    QList<QByteArray> candidates;
    if (given) {
        candidates << *given;
    }
    for (const TrustedKey& entry : trusted) {
        candidates << entry.publicKey;
    }
    if (const auto signer = signingKeyAmong(*config, *signature, candidates)) {
        return judgeSigner(run, configPath, *config, *signature, *signer, trusted);
    }
    if (given) {
        return refuse(run, "mismatch",
                      QStringLiteral("%1: the bytes do not match the signature under key %2 "
                                     "(--key): the configuration or its .sig changed after "
                                     "signing, or another key signed it")
                          .arg(configPath, keyShortId(*given)));
    }
    return refuse(run, "unverified",
                  QStringLiteral("%1: the signature is valid under no trusted key (%2). Either the "
                                 "configuration changed after signing, or a key this machine "
                                 "does not trust signed it; --key NAME.pub checks it against the "
                                 "maker's public key and tells which. %3")
                      .arg(configPath, trustedKeysText(trusted), kTrustAdvice));
}

}  // namespace verimant::cli
