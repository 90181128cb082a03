// The maker's side of the signed configuration: key pairs, signatures, and a check of one.
#include "cli/cli_command.h"
#include "cli/cli_commands.h"
#include "cli/cli_run.h"

#include "platform/confined_file.h"
#include "update/config_signature.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace verimant::cli {

namespace {

std::optional<QByteArray> readWhole(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

// Never over an existing file: a second keygen must not destroy the key a set was signed with.
// For the public key only: the secret one must never exist with a wider mode, even for an instant.
bool writeNew(const QString& path, const QByteArray& bytes, QFileDevice::Permissions mode) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        return false;
    }
    const bool written = file.setPermissions(mode) && file.write(bytes) == bytes.size();
    file.close();
    if (!written) {
        QFile::remove(path);
    }
    return written;
}

// Empty when the file holds no base64 key; signDetached refuses a key of the wrong size.
QByteArray readSecretKey(const QString& path) {
    const auto text = readWhole(path);
    if (!text) {
        return {};
    }
    const auto decoded =
        QByteArray::fromBase64Encoding(text->trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? *decoded : QByteArray();
}

// libsodium's secret key ends in its public key.
QByteArray publicKeyOf(const QByteArray& secretKey) {
    return secretKey.right(32);
}

// Now, unless SOURCE_DATE_EPOCH fixes the time, so that a set can be signed reproducibly.
qint64 signingTime() {
    bool given = false;
    const qint64 fixed = qEnvironmentVariable("SOURCE_DATE_EPOCH").toLongLong(&given);
    return given && fixed > 0 ? fixed : QDateTime::currentSecsSinceEpoch();
}

void say(CliRun& run, const QString& text) {
    std::fprintf(run.out(), "%s\n", text.toUtf8().constData());
    std::fflush(run.out());
}

}  // namespace

int runKeygenCommand(CliRun& run, const QStringList& arguments) {
    const QString name = arguments.at(0);
    const QString secretPath = name + QStringLiteral(".key");
    const QString publicPath = name + QStringLiteral(".pub");
    for (const QString& path : {secretPath, publicPath}) {
        if (QFileInfo::exists(path)) {
            run.dialogs().showError(
                QStringLiteral("%1 exists; keygen never replaces a key").arg(path));
            return kExitFailure;
        }
    }
    const SigningKeys keys = generateSigningKeys();
    if (keys.publicKey.isEmpty() ||
        !writeNewPrivateFile(secretPath, keys.secretKey.toBase64() + '\n') ||
        !writeNew(publicPath, keys.publicKey.toBase64() + '\n',
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                      QFileDevice::ReadOther)) {
        run.dialogs().showError(QStringLiteral("could not write the key pair %1").arg(name));
        return kExitFailure;
    }
    say(run, QStringLiteral("key %1 written: %2 (secret), %3")
                 .arg(keyShortId(keys.publicKey), secretPath, publicPath));
    run.json().set(QStringLiteral("key"), keyShortId(keys.publicKey));
    return kExitSuccess;
}

int runSignConfigCommand(CliRun& run, const QStringList& arguments) {
    const QString configPath = arguments.at(0);
    if (!run.options().isSet(QStringLiteral("key"))) {
        run.dialogs().showError(QStringLiteral("sign-config needs --key NAME.key"));
        return kExitUsage;
    }
    const QByteArray secret = readSecretKey(run.options().value(QStringLiteral("key")));
    const auto config = readWhole(configPath);
    const QByteArray signature =
        config ? signatureFileText(*config, secret, signingTime()) : QByteArray();
    if (signature.isEmpty()) {
        run.dialogs().showError(
            QStringLiteral("cannot sign %1: the file or the key is unreadable").arg(configPath));
        return kExitFailure;
    }
    const QString signaturePath = configPath + QString::fromLatin1(kSignatureSuffix);
    QFile file(signaturePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(signature) < 0 ||
        !file.flush()) {
        run.dialogs().showError(QStringLiteral("could not write %1").arg(signaturePath));
        return kExitFailure;
    }
    const QString keyId = keyShortId(publicKeyOf(secret));
    say(run, QStringLiteral("%1 signed by key %2").arg(signaturePath, keyId));
    run.json().set(QStringLiteral("key"), keyId);
    return kExitSuccess;
}

int runVerifyConfigCommand(CliRun& run, const QStringList& arguments) {
    const QString configPath = arguments.at(0);
    const auto config = readWhole(configPath);
    if (!config) {
        run.dialogs().showError(QStringLiteral("cannot read %1").arg(configPath));
        return kExitFailure;
    }
    QString keyProblem;
    const QList<QByteArray> keys = trustedPublicKeys(&keyProblem);
    if (!keyProblem.isEmpty()) {
        run.dialogs().showError(QStringLiteral("VERIMANT_TRUSTED_KEYS: ") + keyProblem);
    }
    const SignatureVerdict verdict = judgeSignature(
        *config, readWhole(configPath + QString::fromLatin1(kSignatureSuffix)), keys, true);
    run.json().set(QStringLiteral("signed"), verdict.state == SignatureState::Signed);
    if (verdict.state != SignatureState::Signed) {
        run.dialogs().showError(QStringLiteral("%1: %2").arg(configPath, verdict.reason));
        return kExitFailure;
    }
    run.json().set(QStringLiteral("key"), verdict.keyId);
    run.json().set(QStringLiteral("signed_at"), signingTimeText(verdict.signedAt));
    say(run, QStringLiteral("%1: signed by trusted key %2 at %3")
                 .arg(configPath, verdict.keyId, signingTimeText(verdict.signedAt)));
    return kExitSuccess;
}

}  // namespace verimant::cli
