// The maker's side of the signed configuration: key pairs, and signatures of a configuration
// that vouches for every file it names.
#include "cli/cli_command.h"
#include "cli/cli_commands.h"
#include "cli/cli_run.h"
#include "cli/signing_files.h"

#include "platform/confined_file.h"
#include "update/config_signature.h"
#include "update/set_hashes.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QSaveFile>

namespace verimant::cli {

namespace {

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

// Whole or not at all: a configuration half written would match neither its old nor its new
// signature.
bool replaceWhole(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

// Now, unless SOURCE_DATE_EPOCH fixes the time, so that a set can be signed reproducibly.
qint64 signingTime() {
    bool given = false;
    const qint64 fixed = qEnvironmentVariable("SOURCE_DATE_EPOCH").toLongLong(&given);
    return given && fixed > 0 ? fixed : QDateTime::currentSecsSinceEpoch();
}

// --hash-from DIR: every file's hash from the set's own copy, written into the configuration.
bool fillHashes(CliRun& run, const QString& configPath, QByteArray& config) {
    const QString folder = run.options().value(QStringLiteral("hash-from"));
    const HashFilling filling = fillHashesFromFolder(config, folder);
    if (!filling.ok()) {
        run.json().set(QStringLiteral("problems"), QJsonArray::fromStringList(filling.problems));
        run.dialogs().showError(QStringLiteral("%1 was left as it was and not signed: %2")
                                    .arg(configPath, filling.problems.join(QStringLiteral("; "))));
        return false;
    }
    QJsonArray hashes;
    for (const FilledHash& filled : filling.files) {
        hashes.append(QJsonObject{{QStringLiteral("section"), filled.file.section},
                                  {QStringLiteral("key"), filled.file.hashKey},
                                  {QStringLiteral("name"), filled.file.name},
                                  {QStringLiteral("sha256"), filled.file.sha256},
                                  {QStringLiteral("changed"), filled.changed}});
        sayLine(run, QStringLiteral("[%1] %2=%3 (%4%5)")
                         .arg(filled.file.section, filled.file.hashKey, filled.file.sha256,
                              filled.file.name,
                              filled.changed ? QString() : QStringLiteral(", unchanged")));
    }
    run.json().set(QStringLiteral("hashes"), hashes);
    const bool changed = filling.config != config;
    if (changed && !replaceWhole(configPath, filling.config)) {
        run.dialogs().showError(QStringLiteral("could not write %1").arg(configPath));
        return false;
    }
    run.json().set(QStringLiteral("config_written"), changed);
    config = filling.config;
    return true;
}

// A signed configuration that leaves a file without a hash is refused where it is used; the
// maker hears of it here instead, before anything is published.
bool vouchesForEveryFile(CliRun& run, const QString& configPath, const QByteArray& config) {
    const QStringList problems = unhashedFiles(run, config);
    if (problems.isEmpty()) {
        return true;
    }
    run.dialogs().showError(
        QStringLiteral("%1 is not signed: %2. The tool refuses a signed configuration that leaves "
                       "a file without its hash; --hash-from DIR fills them from the set's files")
            .arg(configPath, problems.join(QStringLiteral("; "))));
    return false;
}

}  // namespace

int runKeygenCommand(CliRun& run, const QStringList& arguments) {
    const QString name = arguments.at(0);
    const QString secretPath = name + QStringLiteral(".key");
    const QString publicPath = name + QStringLiteral(".pub");
    for (const QString& path : {secretPath, publicPath}) {
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
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
    const QString keyId = keyShortId(keys.publicKey);
    sayLine(run,
            QStringLiteral("key %1 written: %2 (secret), %3").arg(keyId, secretPath, publicPath));
    run.json().setAll(
        {{QStringLiteral("key"), keyId},
         {QStringLiteral("public_key"), QString::fromLatin1(keys.publicKey.toBase64())},
         {QStringLiteral("secret_key_file"), secretPath},
         {QStringLiteral("public_key_file"), publicPath}});
    return kExitSuccess;
}

int runSignConfigCommand(CliRun& run, const QStringList& arguments) {
    const QString configPath = arguments.at(0);
    if (!run.options().isSet(QStringLiteral("key"))) {
        run.dialogs().showError(QStringLiteral("sign-config needs --key NAME.key"));
        return kExitUsage;
    }
    const QString keyPath = run.options().value(QStringLiteral("key"));
    const QByteArray secret = readKeyFile(keyPath);
    if (!isSecretKey(secret)) {
        run.dialogs().showError(
            QStringLiteral("%1 holds no secret key: give the NAME.key that keygen wrote")
                .arg(keyPath));
        return kExitFailure;
    }
    auto config = readSmallFile(configPath);
    if (!config) {
        run.dialogs().showError(QStringLiteral("cannot read %1").arg(configPath));
        return kExitFailure;
    }
    if ((run.options().isSet(QStringLiteral("hash-from")) &&
         !fillHashes(run, configPath, *config)) ||
        !vouchesForEveryFile(run, configPath, *config)) {
        return kExitFailure;
    }
    const qint64 signedAt = signingTime();
    const QByteArray signature = signatureFileText(*config, secret, signedAt);
    const QString signaturePath = configPath + QString::fromLatin1(kSignatureSuffix);
    if (signature.isEmpty() || !replaceWhole(signaturePath, signature)) {
        run.dialogs().showError(QStringLiteral("could not write %1").arg(signaturePath));
        return kExitFailure;
    }
    const QString keyId = keyShortId(publicKeyOf(secret));
    sayLine(run, QStringLiteral("%1 signed by key %2 at %3")
                     .arg(signaturePath, keyId, signingTimeText(signedAt)));
    run.json().setAll({{QStringLiteral("key"), keyId},
                       {QStringLiteral("signature"), signaturePath},
                       {QStringLiteral("signed_at"), signingTimeText(signedAt)}});
    return kExitSuccess;
}

}  // namespace verimant::cli
