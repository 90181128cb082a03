#include "update/profile_reader.h"

#include "base/file_helpers.h"
#include "platform/cp1251.h"
#include "update/number_text.h"

#include <QRegularExpression>

namespace verimant {

namespace {

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
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
            reader.sections_.append(Section{sectionHeaderName(line), {}});
            current = &reader.sections_.back();
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
    }
    return reader;
}

const ProfileReader::Section* ProfileReader::findSection(const QString& name) const {
    const QString wanted = name.trimmed();
    for (const Section& section : sections_) {
        if (sameName(section.name, wanted)) {
            return &section;
        }
    }
    return nullptr;
}

std::optional<QString> ProfileReader::value(const QString& section, const QString& key) const {
    const Section* found = findSection(section);
    if (found == nullptr) {
        return std::nullopt;
    }
    const QString wanted = key.trimmed();
    for (const Entry& entry : found->entries) {
        if (sameName(entry.key, wanted)) {
            return entry.value;
        }
    }
    return std::nullopt;
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
