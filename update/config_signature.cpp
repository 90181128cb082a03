#include "update/config_signature.h"

#include "update/server_settings.h"

#include <QCryptographicHash>

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

SignatureVerdict refused(const QString& reason) {
    return {SignatureState::Refused, QString(), reason};
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

SignatureVerdict judgeSignature(const QByteArray& config,
                                const std::optional<QByteArray>& signatureText,
                                const QList<QByteArray>& trustedKeys, bool required) {
    if (!signatureText) {
        if (required) {
            return refused(QStringLiteral("unsigned, and signatures are required"));
        }
        return {SignatureState::Unsigned, QString(), QString()};
    }
    const auto signature = strictBase64(*signatureText);
    if (!signature || signature->size() != crypto_sign_BYTES) {
        return refused(QStringLiteral("the signature is malformed"));
    }
    for (const QByteArray& key : trustedKeys) {
        if (verifyDetached(config, *signature, key)) {
            return {SignatureState::Signed, keyShortId(key), QString()};
        }
    }
    return refused(QStringLiteral("the signature is not valid under any trusted key"));
}

}  // namespace verimant
