#include "update/ftp_reply.h"

#include "platform/cp1251.h"

#include <QStringList>

#include <limits>

namespace verimant {

namespace {

constexpr int kMaxCodeDigits = 10;

QByteArray withoutLineEnd(QByteArray line) {
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

std::optional<int> byteField(const QString& field) {
    bool numeric = false;
    const int value = field.trimmed().toInt(&numeric, 10);
    if (!numeric || value < 0 || value > 255)
        return std::nullopt;
    return value;
}

}  // namespace

int replyCodeOf(const QByteArray& line) {
    qint64 code = 0;
    for (int i = 0; i < line.size() && i < kMaxCodeDigits; ++i) {
        const char c = line.at(i);
        if (c < '0' || c > '9')
            break;
        code = code * 10 + (c - '0');
    }
    // Ten digits can exceed an int; such a code is simply large.
    return static_cast<int>(std::min<qint64>(code, std::numeric_limits<int>::max()));
}

bool replyContinuesAfter(const QByteArray& line) {
    return line.startsWith(' ') || (line.size() >= 4 && line.at(3) == '-');
}

bool FtpReplyReader::addLine(const QByteArray& rawLine) {
    if (complete_)
        return true;
    const QByteArray line = withoutLineEnd(rawLine);
    if (lineCount_ == 0)
        reply_.code = replyCodeOf(line);
    ++lineCount_;
    reply_.text = decodeCp1251(line);
    complete_ = !replyContinuesAfter(line);
    return complete_;
}

std::optional<quint16> passiveDataPort(const QString& replyText) {
    const QStringList fields = replyText.split(QLatin1Char(','));
    if (fields.size() < 6)
        return std::nullopt;
    const QString lowField = fields.at(5).section(QLatin1Char(')'), 0, 0);
    const auto high = byteField(fields.at(4));
    const auto low = byteField(lowField);
    if (!high || !low)
        return std::nullopt;
    const int port = *high * 256 + *low;
    if (port == 0)
        return std::nullopt;
    return static_cast<quint16>(port);
}

}  // namespace verimant
