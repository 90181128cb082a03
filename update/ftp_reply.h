#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace verimant {

// One server reply: the number at the start of its first line (0 without one) and its last
// line, which is the text the client reports.
struct FtpReply {
    int code = 0;
    QString text;
};

// Reads one reply line by line. A line that begins with a blank or has "-" as its fourth
// character announces another line.
class FtpReplyReader {
public:
    // Takes the next line (its CR LF may still be on it); true when the reply is complete.
    bool addLine(const QByteArray& line);
    bool complete() const { return complete_; }
    int lineCount() const { return lineCount_; }
    const FtpReply& reply() const { return reply_; }

private:
    FtpReply reply_;
    int lineCount_ = 0;
    bool complete_ = false;
};

// The leading decimal digits (at most ten) of a line as a number; 0 without digits.
int replyCodeOf(const QByteArray& line);
bool replyContinuesAfter(const QByteArray& line);

// The data port of a passive-mode reply: its fifth and sixth comma-separated fields (the sixth
// up to ")") as fifth * 256 + sixth. The address fields are not looked at, since the data
// connection always goes to the control connection's server. Empty when the fields are missing,
// not numbers from 0 to 255, or give port 0.
std::optional<quint16> passiveDataPort(const QString& replyText);

}  // namespace verimant
