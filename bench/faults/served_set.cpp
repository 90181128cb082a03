#include "bench/faults/served_set.h"

#include "platform/cp1251.h"
#include "update/update_run.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace verimant::faults {

namespace {

const QString kConfigName = QString::fromLatin1(UpdateRun::kConfigName);
const QString kFirmwareName = QStringLiteral("verimant_kmt2_3_2.hex");
// The first packet offered to the demo instrument, the one the fault runs choose.
const QString kDataImageName = QStringLiteral("verimant_efl_ru_en_1_6.bin");

bool fail(QString* error, const QString& reason) {
    if (error) {
        *error = reason;
    }
    return false;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// LENGTH only sizes the progress bar, but a configuration that tells the truth keeps it honest.
QString withLength(QString config, const QString& name, qsizetype length) {
    const QRegularExpression entry(QStringLiteral("(NAME=") + QRegularExpression::escape(name) +
                                   QStringLiteral("\\r?\\nLENGTH=)\\d+"));
    return config.replace(entry, QStringLiteral("\\1") + QString::number(length));
}

// The demo set names each file's SHA256; a replaced file must name its own.
QString withSha256(QString config, const QString& name, const QByteArray& bytes) {
    const QRegularExpression entry(QStringLiteral("(NAME=") + QRegularExpression::escape(name) +
                                   QStringLiteral("\\r?\\nLENGTH=\\d+\\r?\\nSHA256=)[0-9a-fA-F]+"));
    const QString hash =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    return config.replace(entry, QStringLiteral("\\1") + hash);
}

}  // namespace

bool copyDemoSet(const QString& folder) {
    const QDir demo(QStringLiteral(VERIMANT_SOURCE_DIR "/examples/update-server"));
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    const QStringList names = demo.entryList(QDir::Files);
    for (const QString& name : names) {
        if (!QFile::copy(demo.filePath(name), QDir(folder).filePath(name))) {
            return false;
        }
    }
    return !names.isEmpty();
}

std::unique_ptr<test::FtpTestServer> serveDemoSet(const QString& folder, QString* error) {
    if (!copyDemoSet(folder)) {
        fail(error, QStringLiteral("cannot prepare the demo update set in ") + folder);
        return nullptr;
    }
    auto server = std::make_unique<test::FtpTestServer>(folder);
    if (!server->start(error)) {
        return nullptr;
    }
    server->exportToEnvironment();
    return server;
}

bool serveSmallSet(const WriteSet& set, const QString& folder, QString* error) {
    if (!copyDemoSet(folder)) {
        return fail(error, QStringLiteral("cannot copy the demo update set into ") + folder);
    }
    const QDir dir(folder);
    const QByteArray records = hexRecordText(set.firmware, set.firmwareAddress);
    QString config = decodeCp1251(readFile(dir.filePath(kConfigName)));
    config = withLength(config, kFirmwareName, records.size());
    config = withLength(config, kDataImageName, set.dataImage.size());
    config = withSha256(config, kFirmwareName, records);
    config = withSha256(config, kDataImageName, set.dataImage);
    if (!writeFile(dir.filePath(kFirmwareName), records) ||
        !writeFile(dir.filePath(kDataImageName), set.dataImage) ||
        !writeFile(dir.filePath(kConfigName), encodeCp1251(config))) {
        return fail(error, QStringLiteral("cannot write the small set into ") + folder);
    }
    // The demo's signature covered the configuration before these edits.
    QFile::remove(dir.filePath(kConfigName + QStringLiteral(".sig")));
    return true;
}

}  // namespace verimant::faults
