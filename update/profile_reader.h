#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace verimant {

// A section or key name as the profile rules compare it: without regard to case, Cyrillic letters
// too. Hashed as compared, so a lookup needs no folded copy of the name.
struct ProfileName {
    QString text;
    bool operator==(const ProfileName& other) const {
        return text.compare(other.text, Qt::CaseInsensitive) == 0;
    }
};
size_t qHash(const ProfileName& name, size_t seed = 0) noexcept;

// Reads a Windows profile (ini) file the way the server's files are written for: section and key
// names match without regard to case (Cyrillic letters too), the first matching section and the
// first matching key win, blanks around names and values go, a value wrapped in matching quotes
// loses them, lines starting with ';' are comments, any of CR LF, LF or CR ends a line, and values
// are cut at 2047 characters. Text is CP1251. A file that is missing or unreadable reads as empty.
class ProfileReader {
public:
    // The longest value a read returns; longer ones are cut.
    static constexpr int kMaxValueLength = 2047;

    ProfileReader() = default;
    static ProfileReader fromFile(const QString& path);
    static ProfileReader fromBytes(const QByteArray& bytes);

    // The value of the first matching key in the first matching section; nothing when either is
    // missing.
    std::optional<QString> value(const QString& section, const QString& key) const;
    QString readString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    // The value read by parseProfileInteger; the default when the key is missing or does not
    // parse.
    std::int32_t readInteger(const QString& section, const QString& key,
                             std::int32_t defaultValue) const;

    // Section names in file order, duplicates included, as written.
    QStringList sectionNames() const;
    // Key names of the first matching section, in file order.
    QStringList keyNames(const QString& section) const;

private:
    struct Entry {
        QString key;
        QString value;
    };
    struct Section {
        QString name;
        QList<Entry> entries;
        // Each key name to its first entry: a section of many keys is read in linear time.
        QHash<ProfileName, qsizetype> firstEntry;
    };
    const Section* findSection(const QString& name) const;

    QList<Section> sections_;
    // Each section name to its first section, built as the file is read.
    QHash<ProfileName, qsizetype> firstSection_;
};

// "0x1F"/"0X1F" (longer than two characters) and "$1F" are hexadecimal, anything else decimal
// with an optional sign; hexadecimal values wrap into 32 bits as the original readers did. A text
// that does not parse whole, or a decimal that does not fit 32 bits, gives `defaultValue`.
std::int32_t parseProfileInteger(const QString& text, std::int32_t defaultValue);

}  // namespace verimant
