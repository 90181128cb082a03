#include "update/file_hash.h"

#include "base/activity_log.h"

#include <QCryptographicHash>
#include <QFile>

namespace verimant {

namespace {

constexpr int kSha256Digits = 64;

}  // namespace

bool isSha256Text(const QString& text) {
    if (text.size() != kSha256Digits) {
        return false;
    }
    for (const QChar c : text) {
        if (!(c.isDigit() || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))) {
            return false;
        }
    }
    return true;
}

QString fileSha256(const QString& path) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) {
        return QString();
    }
    return QString::fromLatin1(hash.result().toHex());
}

bool fileMatchesSha256(const QString& path, const QString& serverName, const QString& expected,
                       ActivityLog& log) {
    const QString actual = fileSha256(path);
    if (!actual.isEmpty() && actual.compare(expected, Qt::CaseInsensitive) == 0) {
        return true;
    }
    log.AddErrorLine(QStringLiteral("Ошибка : SHA256 файла [") + serverName +
                         QStringLiteral("] не совпадает: ожидался ") + expected.toLower() +
                         QStringLiteral(", получен ") +
                         (actual.isEmpty() ? QStringLiteral("(не прочитан)") : actual),
                     0);
    return false;
}

}  // namespace verimant
