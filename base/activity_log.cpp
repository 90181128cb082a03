#include "base/activity_log.h"

#include "platform/cp1251.h"

namespace verimant {

ActivityLog::ActivityLog(QObject* parent) : QObject(parent) {}

void ActivityLog::AddLine(const QString& text) {
    append(text);
}

void ActivityLog::AddErrorLine(const QString& text, int code) {
    append(text + QStringLiteral(": ERC[") + QString::number(code) + QStringLiteral("]"));
}

void ActivityLog::AddLastingLine(const QString& text) {
    append(text);
    lastLineLasts_ = true;
}

void ActivityLog::append(const QString& line) {
    if (line == lastLine_) {
        return;
    }
    lastLineLasts_ = false;
    lines_.append(line);
    lastLine_ = line;
    emit lineAppended(line);
}

void ActivityLog::ReplaceLastLine(const QString& text) {
    if (lines_.isEmpty()) {
        return;
    }
    if (lastLineLasts_) {
        lastLineLasts_ = false;
        lines_.append(text);
        emit lineAppended(text);
        return;
    }
    lines_.last() = text;
    emit lastLineReplaced(text);
}

void ActivityLog::clear() {
    lines_.clear();
    lastLineLasts_ = false;
    emit cleared();
}

QByteArray ActivityLog::reportBytes() const {
    QByteArray bytes;
    for (const QString& line : lines_) {
        bytes += encodeCp1251(line);
        bytes += '\n';
    }
    return bytes;
}

}  // namespace verimant
