#pragma once

#include "platform/cp1251.h"
#include "update/ftp_reply.h"

#include <QByteArrayView>
#include <QList>

#include <string>

namespace verimant::fuzz {

// Reads arbitrary server output as replies and as a passive-mode reply, and checks what must
// hold for any input. Returns an empty text when everything holds, else what went wrong.
inline std::string checkFtpReplyInput(QByteArrayView input) {
    const QList<QByteArray> lines = input.toByteArray().split('\n');
    FtpReplyReader reader;
    int fed = 0;
    for (const QByteArray& line : lines) {
        const bool wasComplete = reader.complete();
        const FtpReply before = reader.reply();
        const bool complete = reader.addLine(line + '\n');
        if (wasComplete) {
            if (!complete || reader.reply().code != before.code ||
                reader.reply().text != before.text)
                return "a complete reply changed";
            continue;
        }
        ++fed;
        if (reader.lineCount() != fed)
            return "lines miscounted";
        if (reader.reply().code != replyCodeOf(lines.first()) || reader.reply().code < 0)
            return "code not taken from the first line";
        if (reader.reply().text.contains(QLatin1Char('\n')) ||
            reader.reply().text.endsWith(QLatin1Char('\r')))
            return "line end left in the reply text";
        if (complete == replyContinuesAfter(line))
            return "continuation rule not followed";
    }

    const QString text = decodeCp1251(input.toByteArray());
    const auto port = passiveDataPort(text);
    if (port && *port == 0)
        return "passive port 0";
    // The address fields never matter: only the fifth and sixth fields name the port.
    const int firstComma = text.indexOf(QLatin1Char(','));
    if (firstComma >= 0) {
        const QString otherAddress = QStringLiteral("227 (10") + text.mid(firstComma);
        if (passiveDataPort(otherAddress) != port)
            return "passive port depends on the address";
    }
    return {};
}

}  // namespace verimant::fuzz
