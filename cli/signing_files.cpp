#include "cli/signing_files.h"

#include "cli/cli_run.h"
#include "cli/terminal_text.h"
#include "update/profile_reader.h"
#include "update/set_hashes.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>

namespace verimant::cli {

namespace {

// libsodium's sizes: the secret key is its seed followed by the public key.
constexpr qsizetype kPublicKeyBytes = 32;
constexpr qsizetype kSecretKeyBytes = 64;

}  // namespace

std::optional<QByteArray> readSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

QByteArray readKeyFile(const QString& path) {
    const auto text = readSmallFile(path);
    if (!text) {
        return {};
    }
    const auto decoded =
        QByteArray::fromBase64Encoding(text->trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded ||
        (decoded.decoded.size() != kPublicKeyBytes && decoded.decoded.size() != kSecretKeyBytes)) {
        return {};
    }
    return decoded.decoded;
}

bool isSecretKey(const QByteArray& key) {
    return key.size() == kSecretKeyBytes;
}

QByteArray publicKeyOf(const QByteArray& key) {
    if (key.size() != kPublicKeyBytes && key.size() != kSecretKeyBytes) {
        return {};
    }
    return key.right(kPublicKeyBytes);
}

QStringList unhashedFiles(CliRun& run, const QByteArray& config) {
    QJsonArray unhashed;
    QStringList problems;
    for (const HashedFile& file :
         filesWithoutValidHash(hashedFiles(ProfileReader::fromBytes(config)))) {
        unhashed.append(QJsonObject{{QStringLiteral("section"), file.section},
                                    {QStringLiteral("key"), file.hashKey},
                                    {QStringLiteral("name"), file.name}});
        problems << file.hashProblem();
    }
    if (!problems.isEmpty()) {
        run.json().set(QStringLiteral("unhashed"), unhashed);
    }
    return problems;
}

void sayLine(CliRun& run, const QString& text) {
    std::fprintf(run.out(), "%s\n", terminalText(text).constData());
    std::fflush(run.out());
}

}  // namespace verimant::cli
