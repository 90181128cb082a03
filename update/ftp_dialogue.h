#pragma once

#include "update/transfer_events.h"

#include <QByteArray>
#include <QString>

namespace verimant {

// The FTP control connection as curl's debug output shows it: each command's first word (never
// its argument: for PASS that is the password), each reply, and the outcome they make, reported
// by kind as they happen.
class FtpDialogue {
public:
    // A reply longer than this is a server that does not end it.
    static constexpr int kMaxReplyLines = 1000;

    explicit FtpDialogue(const TransferEvents& events) : events_(events) {}

    void commandSent(const QByteArray& line);
    void replyLine(const QByteArray& line);

    // The word of the last command sent, upper case ("CWD", "RETR"); empty before the first.
    const QByteArray& lastCommand() const { return lastCommand_; }
    // The last complete reply's last line, without its line end.
    const QString& lastReply() const { return lastReply_; }
    bool loggedIn() const { return loggedIn_; }
    bool replyTooLong() const { return replyTooLong_; }
    // The size a SIZE reply stated; -1 without one.
    qint64 statedSize() const { return statedSize_; }
    // True once the server refused a command of the operation's own (not a folder or a type).
    bool refused() const { return refused_; }

private:
    void replyComplete(int code);

    const TransferEvents& events_;
    QByteArray lastCommand_;
    QString lastReply_;
    int linesInReply_ = 0;
    bool loggedIn_ = false;
    bool replyTooLong_ = false;
    bool refused_ = false;
    qint64 statedSize_ = -1;
};

}  // namespace verimant
