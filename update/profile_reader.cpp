#include "update/profile_reader.h"

#include "base/file_helpers.h"
#include "platform/cp1251.h"
#include "update/number_text.h"

#include <QRegularExpression>

namespace verimant {

namespace {

// The first of a name wins, as the profile rules read it.
void keepFirst(QHash<ProfileName, qsizetype>& index, const QString& name, qsizetype position) {
    const ProfileName key{name};
    if (!index.contains(key)) {
        index.insert(key, position);
    }
}

QString unquoted(const QString& value) {
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == u'"' || value.front() == u'\'')) {
        return value.mid(1, value.size() - 2);
    }
    return value;
}

QStringList profileLines(const QString& text) {
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    return text.split(lineEnd);
}

// A header's name ends at its ']'; one that never closes takes the rest of the line.
QString sectionHeaderName(const QString& line) {
    const qsizetype close = line.indexOf(u']', 1);
    return line.mid(1, close < 0 ? -1 : close - 1).trimmed();
}

}  // namespace

size_t qHash(const ProfileName& name, size_t seed) noexcept {
    size_t hash = seed;
    for (const QChar c : name.text) {
        // Surrogates fold in pairs when names are compared; leaving them out keeps names that
        // compare equal on one hash.
        if (!c.isSurrogate()) {
            hash = hash * 31 + c.toCaseFolded().unicode();
        }
    }
    return hash;
}

ProfileReader ProfileReader::fromFile(const QString& path) {
    const WholeFile file = readWholeFile(path, false);
    if (!file.ok || !file.data) {
        return {};
    }
    return fromBytes(*file.data);
}

ProfileReader ProfileReader::fromBytes(const QByteArray& bytes) {
    ProfileReader reader;
    Section* current = nullptr;
    for (const QString& raw : profileLines(decodeCp1251(bytes))) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.front() == u';') {
            continue;
        }
        if (line.front() == u'[') {
            reader.sections_.append(Section{sectionHeaderName(line), {}, {}});
            current = &reader.sections_.back();
            keepFirst(reader.firstSection_, current->name, reader.sections_.size() - 1);
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (current == nullptr || equals <= 0) {
            continue;
        }
        const QString key = line.left(equals).trimmed();
        if (key.isEmpty()) {
            continue;
        }
        const QString value = unquoted(line.mid(equals + 1).trimmed());
        current->entries.append(Entry{key, value.left(kMaxValueLength)});
        keepFirst(current->firstEntry, key, current->entries.size() - 1);
    }
    return reader;
}

const ProfileReader::Section* ProfileReader::findSection(const QString& name) const {
    const auto found = firstSection_.constFind(ProfileName{name.trimmed()});
    return found == firstSection_.constEnd() ? nullptr : &sections_[*found];
}

std::optional<QString> ProfileReader::value(const QString& section, const QString& key) const {
    const Section* found = findSection(section);
    if (found == nullptr) {
        return std::nullopt;
    }
    const auto entry = found->firstEntry.constFind(ProfileName{key.trimmed()});
    if (entry == found->firstEntry.constEnd()) {
        return std::nullopt;
    }
    return found->entries[*entry].value;
}

QString ProfileReader::readString(const QString& section, const QString& key,
                                  const QString& defaultValue) const {
    return value(section, key).value_or(defaultValue.left(kMaxValueLength));
}

std::int32_t ProfileReader::readInteger(const QString& section, const QString& key,
                                        std::int32_t defaultValue) const {
    const std::optional<QString> text = value(section, key);
    return text ? parseProfileInteger(*text, defaultValue) : defaultValue;
}

QStringList ProfileReader::sectionNames() const {
    QStringList names;
    for (const Section& section : sections_) {
        names.append(section.name);
    }
    return names;
}

QStringList ProfileReader::keyNames(const QString& section) const {
    QStringList names;
    if (const Section* found = findSection(section)) {
        for (const Entry& entry : found->entries) {
            names.append(entry.key);
        }
    }
    return names;
}

std::int32_t parseProfileInteger(const QString& text, std::int32_t defaultValue) {
    std::optional<std::uint32_t> hex;
    if (text.size() > 2 &&
        (text.startsWith(QLatin1String("0x")) || text.startsWith(QLatin1String("0X")))) {
        hex = parseHex32(QStringView(text).mid(2));
    } else if (text.startsWith(u'$')) {
        hex = parseHex32(QStringView(text).mid(1));
    } else {
        return parseDecimal32(text).value_or(defaultValue);
    }
    return hex ? static_cast<std::int32_t>(*hex) : defaultValue;
}

}  // namespace verimant
