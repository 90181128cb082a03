#include "update/set_hashes.h"

#include "update/file_hash.h"
#include "update/folder_source.h"
#include "update/profile_edit.h"
#include "update/update_config.h"

#include <QFileInfo>
#include <QSet>

namespace verimant {

namespace {

constexpr char kFileSectionPrefix[] = "FILE:";

// The hash the folder's copy of `file` has; empty, with the problem noted, when there is none.
QString hashInFolder(const HashedFile& file, const QString& folder, QStringList& problems) {
    QString refusal;
    const QString path = confinedFolderPath(folder, file.name, &refusal);
    if (path.isEmpty()) {
        problems << QStringLiteral("%1: %2").arg(file.name, refusal);
        return {};
    }
    if (!QFileInfo(path).isFile()) {
        problems << QStringLiteral("%1 is not in %2 (looked for %3)").arg(file.name, folder, path);
        return {};
    }
    const QString sha256 = fileSha256(path);
    if (sha256.isEmpty()) {
        problems << QStringLiteral("%1: %2 cannot be read").arg(file.name, path);
    }
    return sha256;
}

// A guard against a line the reader and the editor would see differently: what is signed must
// be what the tool will read.
bool readsAsFilled(const QByteArray& edited, const QList<FilledHash>& filled) {
    const QList<HashedFile> reread = hashedFiles(ProfileReader::fromBytes(edited));
    if (reread.size() != filled.size()) {
        return false;
    }
    for (qsizetype i = 0; i < reread.size(); ++i) {
        if (reread[i].sha256.compare(filled[i].file.sha256, Qt::CaseInsensitive) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool HashedFile::hasValidHash() const {
    return isSha256Text(sha256);
}

QString HashedFile::hashProblem() const {
    const QString what = sha256.isEmpty() ? QStringLiteral("no %1").arg(hashKey)
                                          : QStringLiteral("a malformed %1").arg(hashKey);
    return QStringLiteral("[%1] %2 has %3").arg(section, name, what);
}

QList<HashedFile> hashedFiles(const ProfileReader& config) {
    QList<HashedFile> files;
    const QString serialSection = QString::fromLatin1(kSerialNumberSection);
    const QString baseName = config.readString(serialSection, QStringLiteral("BASE_NAME"), {});
    if (!baseName.isEmpty()) {
        files.append({serialSection, QStringLiteral("BASE_SHA256"), baseName,
                      config.readString(serialSection, QStringLiteral("BASE_SHA256"), {})});
    }
    QSet<ProfileName> seen;
    for (const QString& section : config.sectionNames()) {
        if (!section.startsWith(QLatin1String(kFileSectionPrefix), Qt::CaseInsensitive) ||
            seen.contains(ProfileName{section})) {
            continue;
        }
        seen.insert(ProfileName{section});
        const QString name = config.readString(section, QStringLiteral("NAME"), {});
        if (!name.isEmpty()) {
            files.append({section, QStringLiteral("SHA256"), name,
                          config.readString(section, QStringLiteral("SHA256"), {})});
        }
    }
    return files;
}

QList<HashedFile> filesWithoutValidHash(const QList<HashedFile>& files) {
    QList<HashedFile> lacking;
    for (const HashedFile& file : files) {
        if (!file.hasValidHash()) {
            lacking.append(file);
        }
    }
    return lacking;
}

HashFilling fillHashesFromFolder(const QByteArray& config, const QString& folder) {
    HashFilling filling;
    QByteArray edited = config;
    for (const HashedFile& given : hashedFiles(ProfileReader::fromBytes(config))) {
        HashedFile file = given;
        file.sha256 = hashInFolder(file, folder, filling.problems);
        if (file.sha256.isEmpty()) {
            continue;
        }
        const bool changed = given.sha256.compare(file.sha256, Qt::CaseInsensitive) != 0;
        const auto next =
            changed ? withProfileValue(edited, file.section, file.hashKey, file.sha256) : edited;
        if (!next) {
            filling.problems
                << QStringLiteral("[%1] cannot be given its %2").arg(file.section, file.hashKey);
            continue;
        }
        edited = *next;
        filling.files.append({file, changed});
    }
    if (filling.ok() && readsAsFilled(edited, filling.files)) {
        filling.config = edited;
    } else if (filling.ok()) {
        filling.problems << QStringLiteral(
            "the configuration does not read back with the hashes "
            "set; give them by hand");
    }
    return filling;
}

}  // namespace verimant
