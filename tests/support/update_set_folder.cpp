#include "tests/support/update_set_folder.h"

#include "platform/cp1251.h"
#include "update/config_signature.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace verimant::test {

namespace {

// The serial-number base's layout: two header blocks, then one record a block.
constexpr qsizetype kBlockSize = 256;
constexpr qsizetype kHeaderBlocks = 2;

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

}  // namespace

UpdateSetFolder::UpdateSetFolder(QString root) : root_(std::move(root)) {
    QDir().mkpath(root_);
}

QString UpdateSetFolder::demoFolder() {
    return QStringLiteral(VERIMANT_SOURCE_DIR "/examples/update-server");
}

bool UpdateSetFolder::copyDemoSet() {
    const QDir demo(demoFolder());
    const QStringList names = demo.entryList(QDir::Files);
    for (const QString& name : names) {
        QFile::remove(root_ + QLatin1Char('/') + name);
        if (!QFile::copy(demo.filePath(name), root_ + QLatin1Char('/') + name)) {
            return false;
        }
    }
    return !names.isEmpty();
}

QByteArray UpdateSetFolder::file(const QString& name) const {
    QFile file(root_ + QLatin1Char('/') + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool UpdateSetFolder::editConfig(const QString& from, const QString& to) {
    const QString name = QStringLiteral("verimant_version_3.ini");
    QString text = decodeCp1251(file(name));
    if (!text.contains(from)) {
        ADD_FAILURE() << "the configuration has no " << from.toStdString();
        return false;
    }
    text.replace(from, to);
    // The demo's signature covers the bytes as they were; an edited set is unsigned unless the
    // test signs it again.
    QFile::remove(root_ + QLatin1Char('/') + name + QStringLiteral(".sig"));
    return writeFile(root_ + QLatin1Char('/') + name, encodeCp1251(text));
}

bool UpdateSetFolder::signConfig(const QByteArray& secretKey, qint64 signedAt) {
    const QString name = QStringLiteral("verimant_version_3.ini");
    const QByteArray signature = signatureFileText(file(name), secretKey, signedAt);
    return !signature.isEmpty() &&
           writeFile(root_ + QLatin1Char('/') + name + QStringLiteral(".sig"), signature);
}

bool UpdateSetFolder::replaceFile(const QString& name, const QByteArray& bytes) {
    const QString oldHash = QString::fromLatin1(
        QCryptographicHash::hash(file(name), QCryptographicHash::Sha256).toHex());
    const QString newHash =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    // BASE_SHA256 ends in SHA256= as well, so the base is covered by the same edit.
    return writeFile(root_ + QLatin1Char('/') + name, bytes) &&
           editConfig(QStringLiteral("SHA256=") + oldHash, QStringLiteral("SHA256=") + newHash);
}

bool UpdateSetFolder::writeBase(const QList<QByteArray>& records) {
    QByteArray bytes(kHeaderBlocks * kBlockSize, '\0');
    for (const QByteArray& record : records) {
        QByteArray block = record + "\r\n";
        block.append(QByteArray(kBlockSize - block.size(), '\0'));
        bytes.append(block);
    }
    return replaceFile(QStringLiteral("verimant_sn_base.bin"), bytes);
}

}  // namespace verimant::test
