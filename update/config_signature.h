#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace verimant {

// A detached Ed25519 signature over the configuration's exact bytes and its signing time,
// published beside it as a small text file:
//     signed 2026-12-01T09:30:00Z
//     <base64 signature>
// A file of the signature line alone is the first form: it covers the bytes only and reads as
// signed at time 0, older than any signature that carries its time.
inline constexpr char kSignatureSuffix[] = ".sig";

// A .sig file's content, read.
struct SignatureFile {
    QByteArray signature;  // the raw 64 bytes
    qint64 signedAt = 0;   // seconds since 1970 (UTC); 0 for the first form
};
// Nothing when the text is neither form.
std::optional<SignatureFile> parseSignatureFile(const QByteArray& text);
// The bytes a signature of `signedAt` covers.
QByteArray signedMessage(const QByteArray& config, qint64 signedAt);
// The .sig text for `config`, signed now or at `signedAt`; empty for a secret key of the wrong
// size.
QByteArray signatureFileText(const QByteArray& config, const QByteArray& secretKey,
                             qint64 signedAt);
// "2026-12-01T09:30:00Z"; "0 (unstated)" for the first form.
QString signingTimeText(qint64 signedAt);

struct SigningKeys {
    QByteArray publicKey;  // 32 bytes
    QByteArray secretKey;  // 64 bytes, libsodium's form (seed and public key)
};

SigningKeys generateSigningKeys();
// The raw 64-byte signature; empty for a secret key of the wrong size.
QByteArray signDetached(const QByteArray& message, const QByteArray& secretKey);
bool verifyDetached(const QByteArray& message, const QByteArray& signature,
                    const QByteArray& publicKey);

// The first 8 hexadecimal digits of the key's SHA-256: what logs and listings name a key by.
QString keyShortId(const QByteArray& publicKey);

// Comma-separated base64 public keys. An entry that is not a 32-byte key is skipped and named in
// `problem`, so a typing error never silently widens or narrows trust unnoticed.
QList<QByteArray> parsePublicKeys(const QString& text, QString* problem = nullptr);
// The keys built into the tool plus those in VERIMANT_TRUSTED_KEYS.
QList<QByteArray> trustedPublicKeys(QString* problem = nullptr);

// A trusted key and where the tool got it: "built-in" or "VERIMANT_TRUSTED_KEYS".
struct TrustedKey {
    QByteArray publicKey;
    QString origin;
};
// trustedPublicKeys(), each with its origin, in the same order.
QList<TrustedKey> trustedKeysWithOrigin(QString* problem = nullptr);

// The first of `candidates` the signature verifies under: the key that made it. A .sig names no
// key, so nothing is all a signature can say otherwise: a changed file and a key not among the
// candidates look the same.
std::optional<QByteArray> signingKeyAmong(const QByteArray& config, const SignatureFile& signature,
                                          const QList<QByteArray>& candidates);

enum class SignatureState {
    Unsigned,  // no signature published, and none required
    Signed,    // valid under a trusted key
    Refused,   // invalid, by no trusted key, or missing where one is required
};

struct SignatureVerdict {
    SignatureState state = SignatureState::Refused;
    QString keyId;         // Signed: the key's short id
    QByteArray publicKey;  // Signed: the key
    qint64 signedAt = 0;   // Signed: the signing time the signature covers
    QString reason;        // Refused: why, for the log
};

// `signatureText` is the .sig file's content, nothing when none was published.
SignatureVerdict judgeSignature(const QByteArray& config,
                                const std::optional<QByteArray>& signatureText,
                                const QList<QByteArray>& trustedKeys, bool required);

}  // namespace verimant
