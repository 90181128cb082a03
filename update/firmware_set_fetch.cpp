// Fetching needs the update server; the set itself and its section name do not.
#include "update/firmware_set.h"

#include "base/activity_log.h"
#include "base/user_dialogs.h"
#include "update/file_hash.h"
#include "update/local_name.h"
#include "update/update_config.h"
#include "update/update_source.h"
#include "update/version_codes.h"

#include <QFile>

#include <algorithm>

namespace verimant {

namespace {

FirmwarePart readPart(const UpdateConfig& config, const QString& fileId,
                      std::int32_t defaultLength) {
    const QString section = QStringLiteral("FILE:") + fileId;
    FirmwarePart part;
    part.versionText = config.readString(section, QStringLiteral("VERSION"));
    part.fileName = config.readString(section, QStringLiteral("NAME"));
    part.expectedLength = config.readInteger(section, QStringLiteral("LENGTH"), defaultLength);
    part.versionCode = parseFirmwareVersion(part.versionText);
    part.sha256 = config.readString(section, QStringLiteral("SHA256"));
    return part;
}

// The bar shows received bytes against the expected length while one file comes, and returns to
// 0 after it, whether the fetch succeeded or not.
bool fetchPart(const FirmwarePart& part, UpdateSource& server, const QString& tempFolder,
               ActivityLog& log) {
    QString problem;
    const QString localPath = localPathForServerName(tempFolder, part.fileName, &problem);
    if (localPath.isEmpty()) {
        log.AddErrorLine(
            QStringLiteral("Ошибка : имя файла [") + part.fileName + QStringLiteral("] ") + problem,
            0);
        return false;
    }
    // A length of 0 or less names no 100 % mark: the file comes without a moving bar.
    server.setProgressTotal(std::max(part.expectedLength, 0));
    const bool fetched = server.fetchFile(part.fileName, localPath);
    server.setProgressTotal(0);
    progressView().setProgress(0);
    if (!fetched) {
        return false;
    }
    if (!part.sha256.isEmpty() && !fileMatchesSha256(localPath, part.fileName, part.sha256, log)) {
        QFile::remove(localPath);
        return false;
    }
    return true;
}

// A hash that is given but malformed must never mean "no check".
bool hasValidHash(const FirmwarePart& part, bool configSigned, ActivityLog& log) {
    if ((part.sha256.isEmpty() && !configSigned) || isSha256Text(part.sha256)) {
        return true;
    }
    log.AddErrorLine(QStringLiteral("Ошибка : SHA256 файла [") + part.fileName +
                         QStringLiteral("] задан неверно: [") + part.sha256 + u']',
                     0);
    return false;
}

// Local names keep only the last piece of a server name, so "efl\kmt2.hex" and "kmt2.hex" would
// land on one file and the second download would be written into the instrument as both.
bool sharesLocalFile(const FirmwareSet& set, const QString& tempFolder, ActivityLog& log) {
    const QString firmware = localPathForServerName(tempFolder, set.kmt2.fileName, nullptr);
    if (firmware.isEmpty() ||
        firmware != localPathForServerName(tempFolder, set.efl.fileName, nullptr)) {
        return false;
    }
    log.AddErrorLine(QStringLiteral("Ошибка : файлы [") + set.kmt2.fileName +
                         QStringLiteral("] и [") + set.efl.fileName +
                         QStringLiteral("] ложатся в один локальный файл"),
                     0);
    return true;
}

}  // namespace

bool loadFirmwareSet(UpdateConfig& config, const QString& section, UpdateSource& server,
                     const QString& tempFolder, ActivityLog& log) {
    if (!config.isOpen() || section.isEmpty()) {
        return false;
    }
    const QString kmt2Id = config.readString(section, QStringLiteral("KMT2"));
    const QString eflId = config.readString(section, QStringLiteral("EFL"));
    if (kmt2Id.isEmpty() || eflId.isEmpty()) {
        return false;
    }
    FirmwareSet& set = config.firmwareSet();
    set.kmt2 = readPart(config, kmt2Id, FirmwareSet::kDefaultKmt2Length);
    set.efl = readPart(config, eflId, FirmwareSet::kDefaultEflLength);
    if (set.kmt2.versionText.isEmpty() || set.kmt2.fileName.isEmpty() ||
        set.efl.versionText.isEmpty() || set.efl.fileName.isEmpty()) {
        log.AddErrorLine(QStringLiteral("Ошибка : Не корректные данные в конфигурации обновления"),
                         0);
        set.reset();
        return false;
    }
    if (set.kmt2.versionCode == 0 || set.efl.versionCode == 0) {
        log.AddErrorLine(QStringLiteral("Ошибка : Формат данных версий: [") + set.kmt2.versionText +
                             u':' + set.efl.versionText + u']',
                         0);
        set.reset();
        return false;
    }
    if (!hasValidHash(set.kmt2, config.isSigned(), log) ||
        !hasValidHash(set.efl, config.isSigned(), log) || sharesLocalFile(set, tempFolder, log)) {
        set.reset();
        return false;
    }
    return fetchPart(set.kmt2, server, tempFolder, log) &&
           fetchPart(set.efl, server, tempFolder, log);
}

}  // namespace verimant
