#include "ui/memo_log.h"

#include "base/activity_log.h"
#include "ui/ui_fonts.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace verimant {

namespace {
constexpr int kLogPixelSize = 11;
}

MemoLog::MemoLog(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("Memo_Log"));
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFont(monospaceFont(kLogPixelSize));
    setUndoRedoEnabled(false);
}

void MemoLog::follow(const ActivityLog& log) {
    clearLines();
    for (const QString& line : log.lines()) {
        appendLine(line);
    }
    connect(&log, &ActivityLog::lineAppended, this, &MemoLog::appendLine);
    connect(&log, &ActivityLog::lastLineReplaced, this, &MemoLog::replaceLastLine);
    connect(&log, &ActivityLog::cleared, this, &MemoLog::clearLines);
}

QStringList MemoLog::shownLines() const {
    QStringList lines;
    if (lineCount_ == 0) {
        return lines;
    }
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        lines.append(block.text());
    }
    return lines;
}

void MemoLog::appendLine(const QString& line) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    if (lineCount_ > 0) {
        cursor.insertBlock();
    }
    cursor.insertText(line);
    ++lineCount_;
    scrollToNewest();
}

void MemoLog::replaceLastLine(const QString& line) {
    if (lineCount_ == 0) {
        return;
    }
    QTextCursor cursor(document()->lastBlock());
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(line);
}

void MemoLog::clearLines() {
    clear();
    lineCount_ = 0;
}

void MemoLog::scrollToNewest() {
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    horizontalScrollBar()->setValue(0);
}

}  // namespace verimant
