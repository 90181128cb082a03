#include "update/trust_memory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace verimant {

namespace {

constexpr char kHeader[] =
    "# verimant-manager: sources that served a signed configuration, and the newest signing time "
    "accepted per key\n";
constexpr char kSourceTag[] = "source";
constexpr char kKeyTag[] = "key";

QString decodeText(const QByteArray& bytes) {
    return QString::fromUtf8(QByteArray::fromPercentEncoding(bytes));
}

QByteArray encodeText(const QString& text) {
    return text.toUtf8().toPercentEncoding("/:@.-_");
}

}  // namespace

QString TrustMemory::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/verimant-manager/trust-state");
}

TrustMemory::TrustMemory(QString path) : path_(std::move(path)) {}

bool TrustMemory::load(QString* problem) {
    pinnedSources_.clear();
    newestTimes_.clear();
    QFile file(path_);
    if (!file.exists() && !QFileInfo(path_).isSymLink()) {
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("%1: cannot be read").arg(path_);
        return false;
    }
    int number = 0;
    for (const QByteArray& rawLine : file.readAll().split('\n')) {
        ++number;
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        const QList<QByteArray> fields = line.split('\t');
        bool timeRead = false;
        if (fields.size() == 2 && fields.at(0) == kSourceTag) {
            pinnedSources_.insert(decodeText(fields.at(1)));
        } else if (fields.size() == 3 && fields.at(0) == kKeyTag &&
                   (fields.at(2).toLongLong(&timeRead), timeRead)) {
            const QByteArray key = QByteArray::fromHex(fields.at(1));
            newestTimes_[key] = std::max(newestTimes_.value(key, 0), fields.at(2).toLongLong());
        } else {
            *problem = QStringLiteral("%1:%2: not understood").arg(path_).arg(number);
            return false;
        }
    }
    return true;
}

bool TrustMemory::rememberSigned(const QString& source, const QByteArray& publicKey,
                                 qint64 signedAt, QString* problem) {
    if (!load(problem)) {
        return false;
    }
    pinnedSources_.insert(source);
    newestTimes_[publicKey] = std::max(newestTimes_.value(publicKey, 0), signedAt);
    return save(problem);
}

bool TrustMemory::save(QString* problem) const {
    const QString folder = QFileInfo(path_).path();
    if (!QDir().mkpath(folder)) {
        *problem = QStringLiteral("%1: cannot be created").arg(folder);
        return false;
    }
    QByteArray text(kHeader);
    QStringList sources(pinnedSources_.begin(), pinnedSources_.end());
    sources.sort();
    for (const QString& source : sources) {
        text += kSourceTag + QByteArray("\t") + encodeText(source) + '\n';
    }
    QList<QByteArray> keys = newestTimes_.keys();
    std::sort(keys.begin(), keys.end());
    for (const QByteArray& key : keys) {
        text += kKeyTag + QByteArray("\t") + key.toHex() + '\t' +
                QByteArray::number(newestTimes_.value(key)) + '\n';
    }
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(text) != text.size() || !file.commit()) {
        *problem = QStringLiteral("%1: cannot be written").arg(path_);
        return false;
    }
    return true;
}

}  // namespace verimant
