#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace verimant::cli {

class CliRun;

// What keygen, sign-config and verify-config share: the maker's small files and their report
// lines.

// The whole file; nothing when it cannot be read.
std::optional<QByteArray> readSmallFile(const QString& path);

// The raw key of a file keygen wrote (one base64 line): 64 bytes from NAME.key, 32 from NAME.pub.
// Empty when the file holds no key of either size.
QByteArray readKeyFile(const QString& path);

// Whether `key` is a secret key, as NAME.key holds it.
bool isSecretKey(const QByteArray& key);

// The public key a key of either size stands for; empty for anything else.
QByteArray publicKeyOf(const QByteArray& key);

// The files the configuration leaves without a valid hash, each as "[FILE:X] NAME has no SHA256";
// also listed as the document's "unhashed". Empty when every file has its hash.
QStringList unhashedFiles(CliRun& run, const QByteArray& config);

// A report line on the command's output (standard error with --json).
void sayLine(CliRun& run, const QString& text);

}  // namespace verimant::cli
