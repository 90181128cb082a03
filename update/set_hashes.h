#pragma once

#include "update/profile_reader.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace verimant {

// A file the configuration vouches for by its SHA-256: the serial-number base (BASE_NAME, hash
// in BASE_SHA256) or the NAME of a FILE: section (hash in SHA256).
struct HashedFile {
    QString section;
    QString hashKey;
    QString name;    // the server's name of the file
    QString sha256;  // as the configuration gives it; empty when it gives none

    bool hasValidHash() const;
    // "[FILE:KMT2_278_0302] verimant_kmt2_3_2.hex has no SHA256", or "... a malformed SHA256".
    QString hashProblem() const;
};

// The base and every FILE: section that names a file, in file order. Only the first section of a
// name counts, as only it is ever read.
QList<HashedFile> hashedFiles(const ProfileReader& config);

// The files among `files` whose hash is missing or malformed.
QList<HashedFile> filesWithoutValidHash(const QList<HashedFile>& files);

struct FilledHash {
    HashedFile file;       // with the hash it has now
    bool changed = false;  // added or replaced; a hash that was right stays as written
};

struct HashFilling {
    QByteArray config;  // the configuration with every hash set; valid when ok()
    QList<FilledHash> files;
    QStringList problems;  // a file not found in the folder, a name refused, ...

    bool ok() const { return problems.isEmpty(); }
};

// Sets each listed file's hash from the file a folder laid out like the update server holds
// under its name ("fw\kmt2.hex" is folder/fw/kmt2.hex; a name or link leading out of the folder
// is refused). Only the hash values change in the configuration's bytes. Any problem leaves the
// result without a configuration: a set is hashed whole or not at all.
HashFilling fillHashesFromFolder(const QByteArray& config, const QString& folder);

}  // namespace verimant
