#include "platform/setting_store.h"

#include <QSettings>

#include <memory>

namespace verimant {

namespace {

std::unique_ptr<QSettings> openStore(const QString& group) {
#ifdef Q_OS_WIN
    // The registry keeps value types itself (REG_DWORD against REG_SZ).
    auto store = std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\PELMA\\KMT2"),
                                             QSettings::NativeFormat);
#else
    auto store = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("PELMA"), QStringLiteral("KMT2"));
#endif
    store->beginGroup(group);
    return store;
}

bool commit(QSettings& store) {
    store.sync();
    return store.status() == QSettings::NoError;
}

#ifndef Q_OS_WIN
// A text file keeps no types, so integers carry a tag the way a registry export writes them:
// "dword:" and eight hexadecimal digits. Anything else is text.
const QString kIntegerTag = QStringLiteral("dword:");

QString tagInteger(qint32 value) {
    return kIntegerTag +
           QStringLiteral("%1").arg(static_cast<quint32>(value), 8, 16, QLatin1Char('0'));
}

std::optional<qint32> untagInteger(const QVariant& stored) {
    if (stored.metaType().id() != QMetaType::QString) {
        return std::nullopt;
    }
    const QString text = stored.toString();
    if (!text.startsWith(kIntegerTag) || text.size() != kIntegerTag.size() + 8) {
        return std::nullopt;
    }
    bool ok = false;
    const quint32 bits = text.mid(kIntegerTag.size()).toUInt(&ok, 16);
    if (!ok) {
        return std::nullopt;
    }
    return static_cast<qint32>(bits);
}
#endif

}  // namespace

std::optional<qint32> readUserInt32(const QString& group, const QString& key) {
    const auto store = openStore(group);
    const QVariant stored = store->value(key);
    if (!stored.isValid()) {
        return std::nullopt;
    }
#ifdef Q_OS_WIN
    const int type = stored.metaType().id();
    if (type != QMetaType::Int && type != QMetaType::UInt) {
        return std::nullopt;
    }
    return static_cast<qint32>(stored.toUInt());
#else
    return untagInteger(stored);
#endif
}

bool writeUserInt32(const QString& group, const QString& key, qint32 value) {
    const auto store = openStore(group);
    if (!store->isWritable()) {
        return false;
    }
#ifdef Q_OS_WIN
    store->setValue(key, value);
#else
    store->setValue(key, tagInteger(value));
#endif
    return commit(*store);
}

std::optional<QString> readUserText(const QString& group, const QString& key) {
    const auto store = openStore(group);
    const QVariant stored = store->value(key);
    if (stored.metaType().id() != QMetaType::QString) {
        return std::nullopt;
    }
#ifndef Q_OS_WIN
    if (untagInteger(stored)) {
        return std::nullopt;
    }
#endif
    return stored.toString();
}

bool writeUserText(const QString& group, const QString& key, const QString& value) {
    const auto store = openStore(group);
    if (!store->isWritable()) {
        return false;
    }
    store->setValue(key, value);
    return commit(*store);
}

}  // namespace verimant
