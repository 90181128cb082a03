#include "update/config_signature.h"

#include "update/server_settings.h"

#include <QCryptographicHash>
#include <QDateTime>

#include <sodium.h>

namespace verimant {

namespace {

constexpr char kTrustedKeysVariable[] = "VERIMANT_TRUSTED_KEYS";

bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

std::optional<QByteArray> strictBase64(const QByteArray& text) {
    const auto decoded =
        QByteArray::fromBase64Encoding(text.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        return std::nullopt;
    }
    return *decoded;
}

constexpr char kTimePrefix[] = "signed ";
// Keeps a signature over a time and a configuration apart from one over bytes alone: no
// configuration text starts with this.
constexpr char kTimedDomain[] = "verimant-signed-config";

SignatureVerdict refused(const QString& reason) {
    SignatureVerdict verdict;
    verdict.reason = reason;
    return verdict;
}

std::optional<qint64> parseSigningTime(const QByteArray& line) {
    if (!line.startsWith(kTimePrefix)) {
        return std::nullopt;
    }
    const QString text = QString::fromLatin1(line.mid(int(sizeof(kTimePrefix)) - 1));
    const QDateTime time = QDateTime::fromString(text, Qt::ISODate);
    // Only the exact form sign-config writes: one text per time, so nothing slips past a compare.
    if (!time.isValid() || signingTimeText(time.toSecsSinceEpoch()) != text ||
        time.toSecsSinceEpoch() <= 0) {
        return std::nullopt;
    }
    return time.toSecsSinceEpoch();
}

}  // namespace

SigningKeys generateSigningKeys() {
    SigningKeys keys;
    if (!sodiumReady()) {
        return keys;
    }
    keys.publicKey.resize(crypto_sign_PUBLICKEYBYTES);
    keys.secretKey.resize(crypto_sign_SECRETKEYBYTES);
    crypto_sign_keypair(reinterpret_cast<unsigned char*>(keys.publicKey.data()),
                        reinterpret_cast<unsigned char*>(keys.secretKey.data()));
    return keys;
}

QByteArray signDetached(const QByteArray& message, const QByteArray& secretKey) {
    if (!sodiumReady() || secretKey.size() != crypto_sign_SECRETKEYBYTES) {
        return {};
    }
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char*>(message.constData()),
                         static_cast<unsigned long long>(message.size()),
                         reinterpret_cast<const unsigned char*>(secretKey.constData()));
    return signature;
}

bool verifyDetached(const QByteArray& message, const QByteArray& signature,
                    const QByteArray& publicKey) {
    if (!sodiumReady() || signature.size() != crypto_sign_BYTES ||
        publicKey.size() != crypto_sign_PUBLICKEYBYTES) {
        return false;
    }
    return crypto_sign_verify_detached(
               reinterpret_cast<const unsigned char*>(signature.constData()),
               reinterpret_cast<const unsigned char*>(message.constData()),
               static_cast<unsigned long long>(message.size()),
               reinterpret_cast<const unsigned char*>(publicKey.constData())) == 0;
}

QString keyShortId(const QByteArray& publicKey) {
    return QString::fromLatin1(
        QCryptographicHash::hash(publicKey, QCryptographicHash::Sha256).toHex().left(8));
}

QList<QByteArray> parsePublicKeys(const QString& text, QString* problem) {
    QList<QByteArray> keys;
    for (const QString& entry : text.split(u',', Qt::SkipEmptyParts)) {
        const auto key = strictBase64(entry.trimmed().toLatin1());
        if (key && key->size() == crypto_sign_PUBLICKEYBYTES) {
            keys.append(*key);
        } else if (problem != nullptr) {
            *problem = QStringLiteral("not a public key: '%1'").arg(entry.trimmed());
        }
    }
    return keys;
}

QList<QByteArray> trustedPublicKeys(QString* problem) {
    return parsePublicKeys(builtInTrustedKeysText(), problem) +
           parsePublicKeys(QString::fromUtf8(qgetenv(kTrustedKeysVariable)), problem);
}

QList<TrustedKey> trustedKeysWithOrigin(QString* problem) {
    QList<TrustedKey> keys;
    for (const QByteArray& key : parsePublicKeys(builtInTrustedKeysText(), problem)) {
        keys.append({key, QStringLiteral("built-in")});
    }
    for (const QByteArray& key :
         parsePublicKeys(QString::fromUtf8(qgetenv(kTrustedKeysVariable)), problem)) {
        keys.append({key, QString::fromLatin1(kTrustedKeysVariable)});
    }
    return keys;
}

std::optional<QByteArray> signingKeyAmong(const QByteArray& config, const SignatureFile& signature,
                                          const QList<QByteArray>& candidates) {
    const QByteArray message = signedMessage(config, signature.signedAt);
    for (const QByteArray& key : candidates) {
        if (verifyDetached(message, signature.signature, key)) {
            return key;
        }
    }
    return std::nullopt;
}

std::optional<SignatureFile> parseSignatureFile(const QByteArray& text) {
    const QList<QByteArray> lines = text.trimmed().split('\n');
    if (lines.size() > 2) {
        return std::nullopt;
    }
    SignatureFile file;
    if (lines.size() == 2) {
        const auto time = parseSigningTime(lines.at(0).trimmed());
        if (!time) {
            return std::nullopt;
        }
        file.signedAt = *time;
    }
    const auto signature = strictBase64(lines.last());
    if (!signature || signature->size() != crypto_sign_BYTES) {
        return std::nullopt;
    }
    file.signature = *signature;
    return file;
}

QByteArray signedMessage(const QByteArray& config, qint64 signedAt) {
    if (signedAt == 0) {
        return config;
    }
    QByteArray message(kTimedDomain, int(sizeof(kTimedDomain)));  // with its NUL
    message += signingTimeText(signedAt).toLatin1();
    message += '\0';
    return message + config;
}

QByteArray signatureFileText(const QByteArray& config, const QByteArray& secretKey,
                             qint64 signedAt) {
    const QByteArray signature = signDetached(signedMessage(config, signedAt), secretKey);
    if (signature.isEmpty()) {
        return {};
    }
    const QByteArray timeLine =
        signedAt == 0 ? QByteArray() : kTimePrefix + signingTimeText(signedAt).toLatin1() + '\n';
    return timeLine + signature.toBase64() + '\n';
}

QString signingTimeText(qint64 signedAt) {
    if (signedAt == 0) {
        return QStringLiteral("0 (unstated)");
    }
    return QDateTime::fromSecsSinceEpoch(signedAt, Qt::UTC).toString(Qt::ISODate);
}

SignatureVerdict judgeSignature(const QByteArray& config,
                                const std::optional<QByteArray>& signatureText,
                                const QList<QByteArray>& trustedKeys, bool required) {
    if (!signatureText) {
        if (required) {
            return refused(QStringLiteral("unsigned, and signatures are required"));
        }
        SignatureVerdict verdict;
        verdict.state = SignatureState::Unsigned;
        return verdict;
    }
    const auto file = parseSignatureFile(*signatureText);
    if (!file) {
        return refused(QStringLiteral("the signature is malformed"));
    }
    if (const auto key = signingKeyAmong(config, *file, trustedKeys)) {
        SignatureVerdict verdict;
        verdict.state = SignatureState::Signed;
        verdict.keyId = keyShortId(*key);
        verdict.publicKey = *key;
        verdict.signedAt = file->signedAt;
        return verdict;
    }
    return refused(QStringLiteral("the signature is not valid under any trusted key"));
}

}  // namespace verimant
