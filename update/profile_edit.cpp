#include "update/profile_edit.h"

#include "platform/cp1251.h"
#include "update/profile_reader.h"

#include <QList>

namespace verimant {

namespace {

// One line of the text as bytes: its content and the line end after it (CR LF, LF, CR or none).
struct RawLine {
    qsizetype start = 0;
    qsizetype length = 0;
    QByteArray end;

    qsizetype next() const { return start + length + end.size(); }
};

QList<RawLine> rawLines(const QByteArray& text) {
    QList<RawLine> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        RawLine line{start, 0, {}};
        qsizetype at = start;
        while (at < text.size() && text[at] != '\r' && text[at] != '\n') {
            ++at;
        }
        line.length = at - start;
        if (at < text.size()) {
            const bool crLf = text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n';
            line.end = text.mid(at, crLf ? 2 : 1);
        }
        lines.append(line);
        start = line.next();
    }
    return lines;
}

// What the profile reader makes of a line.
struct LineMeaning {
    enum Kind { Other, Header, Key } kind = Other;
    QString name;             // the section's or the key's
    qsizetype equalsAt = -1;  // Key: where its '=' is in the line's bytes
};

LineMeaning meaningOf(const QByteArray& content) {
    // CP1251 gives one character per byte, so a position in the text is one in the bytes.
    const QString raw = decodeCp1251(content);
    const QString line = raw.trimmed();
    if (line.isEmpty() || line.front() == u';') {
        return {};
    }
    if (line.front() == u'[') {
        const qsizetype close = line.indexOf(u']', 1);
        return {LineMeaning::Header, line.mid(1, close < 0 ? -1 : close - 1).trimmed()};
    }
    const qsizetype equals = raw.indexOf(u'=');
    const QString key = raw.left(equals).trimmed();
    if (equals < 0 || key.isEmpty()) {
        return {};
    }
    return {LineMeaning::Key, key, equals};
}

bool sameName(const QString& a, const QString& b) {
    return ProfileName{a.trimmed()} == ProfileName{b.trimmed()};
}

// The first line end the text uses; CR LF, the profile files' own, when it has none.
QByteArray textLineEnd(const QList<RawLine>& lines) {
    for (const RawLine& line : lines) {
        if (!line.end.isEmpty()) {
            return line.end;
        }
    }
    return QByteArrayLiteral("\r\n");
}

}  // namespace

std::optional<QByteArray> withProfileValue(const QByteArray& text, const QString& section,
                                           const QString& key, const QString& value) {
    const QList<RawLine> lines = rawLines(text);
    const QByteArray encoded = encodeCp1251(value);
    qsizetype lastOfSection = -1;  // the header or the last key line of the section
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const RawLine& line = lines[i];
        const LineMeaning meaning = meaningOf(text.mid(line.start, line.length));
        if (meaning.kind == LineMeaning::Header) {
            if (lastOfSection >= 0) {
                break;  // only the first section of the name is ever read
            }
            if (sameName(meaning.name, section)) {
                lastOfSection = i;
            }
        } else if (meaning.kind == LineMeaning::Key && lastOfSection >= 0) {
            if (sameName(meaning.name, key)) {
                const qsizetype valueStart = line.start + meaning.equalsAt + 1;
                return text.left(valueStart) + encoded + text.mid(line.start + line.length);
            }
            lastOfSection = i;
        }
    }
    if (lastOfSection < 0) {
        return std::nullopt;
    }
    const RawLine& after = lines[lastOfSection];
    const QByteArray entry = encodeCp1251(key) + '=' + encoded;
    const QByteArray inserted =
        after.end.isEmpty() ? textLineEnd(lines) + entry : entry + after.end;
    return text.left(after.next()) + inserted + text.mid(after.next());
}

}  // namespace verimant
