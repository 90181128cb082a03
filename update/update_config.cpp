#include "update/update_config.h"

#include "base/activity_log.h"
#include "base/file_helpers.h"
#include "update/file_hash.h"
#include "update/number_text.h"

#include <algorithm>

namespace verimant {

namespace {

constexpr int kLastLanguageListKey = 99;
constexpr int kLanguageItemParts = 4;

QString languages() {
    return QString::fromLatin1(kLanguagesSection);
}

// "code:key:Russian name:English name"; nothing for an item too short or with a negative or
// unreadable code.
std::optional<LanguageEntry> parseCatalogueItem(const QString& item) {
    QStringList parts;
    splitText(item, u':', parts);
    if (parts.size() < kLanguageItemParts) {
        return std::nullopt;
    }
    const std::optional<std::int32_t> code = parseDecimal32(parts[0].trimmed());
    if (!code || *code < 0) {
        return std::nullopt;
    }
    return LanguageEntry{*code, parts[1].trimmed(), parts[2], parts[3]};
}

// "set name:packet,packet,..."; nothing for a value without ':'.
std::optional<std::pair<QString, QStringList>> parseLanguageSet(const QString& value) {
    const qsizetype colon = value.indexOf(u':');
    if (colon < 0) {
        return std::nullopt;
    }
    QStringList packets;
    splitText(value.mid(colon + 1), u',', packets);
    return std::make_pair(value.left(colon), packets);
}

}  // namespace

QString LanguageEntry::displayName(UiLanguage language) const {
    return language == UiLanguage::English ? nameEn : nameRu;
}

void LanguageCatalog::clear() {
    entries.fill(LanguageEntry{});
    count = 0;
}

const LanguageEntry* LanguageCatalog::findLanguageByCode(std::int32_t code) const {
    for (int i = 0; i < count; ++i) {
        if (entries[i].code == code) {
            return &entries[i];
        }
    }
    return nullptr;
}

const LanguageEntry* LanguageCatalog::findLanguageByName(const QString& name) const {
    for (int i = 0; i < count; ++i) {
        if (entries[i].key.compare(name, Qt::CaseInsensitive) == 0) {
            return &entries[i];
        }
    }
    return nullptr;
}

void UpdateConfig::openConfig(const QString& localPath) {
    path_ = localPath;
    open_ = !localPath.isEmpty();
    profile_ = open_ ? ProfileReader::fromFile(localPath) : ProfileReader();
}

bool UpdateConfig::baseMatches(const QString& serverName, const QString& localPath,
                               ActivityLog& log) const {
    const QString expected =
        readString(QString::fromLatin1(kSerialNumberSection), QStringLiteral("BASE_SHA256"));
    if (expected.isEmpty() && !signed_) {
        return true;
    }
    if (!isSha256Text(expected)) {
        log.AddErrorLine(QStringLiteral("Ошибка : BASE_SHA256 базы [") + serverName +
                             QStringLiteral("] задан неверно: [") + expected + u']',
                         0);
        return false;
    }
    return fileMatchesSha256(localPath, serverName, expected, log);
}

QString UpdateConfig::readString(const QString& section, const QString& key,
                                 const QString& defaultValue) const {
    return profile_.readString(section, key, defaultValue);
}

std::int32_t UpdateConfig::readInteger(const QString& section, const QString& key,
                                       std::int32_t defaultValue) const {
    return profile_.readInteger(section, key, defaultValue);
}

QString UpdateConfig::modelName(const QString& modelKey) const {
    return readString(QString::fromLatin1(kSerialNumberSection), modelKey);
}

void UpdateConfig::loadLanguageCatalog() {
    catalog_.clear();
    const std::int32_t limit = readInteger(languages(), QStringLiteral("LANG_NUM"), 0);
    for (int i = 1; i <= kLastLanguageListKey; ++i) {
        const QString value =
            readString(languages(), QStringLiteral("LANG_LIST_%1").arg(i)).trimmed();
        QStringList items;
        splitText(value, u',', items);
        if (items.isEmpty()) {
            return;
        }
        for (const QString& item : items) {
            const std::optional<LanguageEntry> entry = parseCatalogueItem(item);
            if (entry && catalog_.count < LanguageCatalog::kSlots) {
                catalog_.entries[catalog_.count++] = *entry;
            }
        }
        // The limit ends the reading of keys; the key that reached it is kept whole.
        if (limit != 0 && catalog_.count >= limit) {
            return;
        }
    }
}

QList<std::pair<QString, QStringList>> UpdateConfig::languageSets() const {
    QList<std::pair<QString, QStringList>> sets;
    const std::int32_t count = readInteger(languages(), QStringLiteral("LANG_SET_NUM"), 0);
    for (const std::int32_t k : languageSetNumbers(count)) {
        const auto set =
            parseLanguageSet(readString(languages(), QStringLiteral("LANG_SET_%1").arg(k)));
        if (set) {
            sets.append(*set);
        }
    }
    return sets;
}

// Only keys that exist can give a set, so only they are read: a count far above them, or a key
// numbered near the largest integer, would otherwise spin through up to two thousand million
// reads that all give the default, with the window frozen.
QList<std::int32_t> UpdateConfig::languageSetNumbers(std::int32_t count) const {
    const QString prefix = QStringLiteral("LANG_SET_");
    QList<std::int32_t> numbers;
    for (const QString& key : profile_.keyNames(languages())) {
        if (!key.startsWith(prefix, Qt::CaseInsensitive)) {
            continue;
        }
        const std::optional<std::int32_t> k = parseDecimal32(QStringView(key).mid(prefix.size()));
        // Only a key that the read of LANG_SET_<k> finds: "LANG_SET_01" is not set 1.
        if (k && *k >= 1 && *k <= count &&
            key.compare(prefix + QString::number(*k), Qt::CaseInsensitive) == 0) {
            numbers.append(*k);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

LanguagePackets UpdateConfig::packetsForLanguageSet(const QString& setName,
                                                    ActivityLog& log) const {
    LanguagePackets result;
    for (const auto& [name, packets] : languageSets()) {
        if (name == setName) {
            result.packets = packets;
            break;
        }
    }
    for (const QString& packet : std::as_const(result.packets)) {
        result.sections.append(QString::fromLatin1(kLanguageSectionPrefix) + packet);
    }
    result.ok = !result.packets.isEmpty();
    if (!result.ok) {
        log.AddErrorLine(QStringLiteral("Ошибка получения списка языков"), 0);
    }
    return result;
}

void UpdateConfig::selectLanguagePacket(const QString& packet) {
    catalog_.currentLanguages.clear();
    catalog_.currentPacket = packet;
    splitText(readString(QString::fromLatin1(kLanguageSectionPrefix) + packet,
                         QStringLiteral("LANG_LIST")),
              u',', catalog_.currentLanguages);
}

}  // namespace verimant
