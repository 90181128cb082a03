#include "update/ftp_dialogue.h"

#include "platform/cp1251.h"

#include <cctype>

namespace verimant {

namespace {

bool isFinalReplyLine(const QByteArray& line) {
    return line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
           std::isdigit(static_cast<unsigned char>(line[1])) &&
           std::isdigit(static_cast<unsigned char>(line[2])) && line[3] == ' ';
}

// The kinds folder and type commands report; the transfer's own kind is the transport's to tell.
FtpOperation kindOf(const QByteArray& word) {
    if (word == "CWD")
        return FtpOperation::ChangeFolder;
    if (word == "MKD")
        return FtpOperation::CreateFolder;
    return FtpOperation::OtherCommand;
}

}  // namespace

void FtpDialogue::commandSent(const QByteArray& line) {
    lastCommand_ = line.left(line.indexOf(' ')).trimmed().toUpper();
    linesInReply_ = 0;
}

void FtpDialogue::replyLine(const QByteArray& line) {
    if (++linesInReply_ > kMaxReplyLines) {
        replyTooLong_ = true;
        return;
    }
    if (!isFinalReplyLine(line))
        return;
    lastReply_ = decodeCp1251(line.trimmed());
    linesInReply_ = 0;
    replyComplete(line.left(3).toInt());
}

void FtpDialogue::replyComplete(int code) {
    const bool accepted = code >= 200 && code < 400;
    const bool refusal = code >= 400;
    const auto report = [this, accepted](FtpOperation kind) {
        const auto& handler = accepted ? events_.onSuccess : events_.onFailure;
        if (handler)
            handler(kind);
    };
    if (lastCommand_ == "USER" || lastCommand_ == "PASS") {
        loggedIn_ = code == 230;
        if (refusal && events_.onAuthenticationFailed)
            events_.onAuthenticationFailed();
    } else if (lastCommand_ == "CWD" || lastCommand_ == "MKD" || lastCommand_ == "TYPE") {
        report(kindOf(lastCommand_));
    } else if (lastCommand_ == "SIZE") {
        bool numeric = false;
        const qint64 size = lastReply_.mid(4).trimmed().toLongLong(&numeric);
        statedSize_ = code == 213 && numeric && size >= 0 ? size : -1;
    } else if (lastCommand_ == "RETR" || lastCommand_ == "APPE" || lastCommand_ == "STOR") {
        refused_ = refused_ || refusal;
    }
}

}  // namespace verimant
