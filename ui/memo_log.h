#pragma once

#include <QPlainTextEdit>

namespace verimant {

class ActivityLog;

// Memo_Log: the read-only pane that shows the activity log. It follows the log's signals (a line
// appended, the last line rewritten, everything cleared) and keeps the newest line in view.
class MemoLog : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit MemoLog(QWidget* parent = nullptr);

    // Shows the log's current lines and follows it from now on.
    void follow(const ActivityLog& log);

    // The pane's lines as shown (one per block); empty when the pane is empty.
    QStringList shownLines() const;

private:
    void appendLine(const QString& line);
    void replaceLastLine(const QString& line);
    void clearLines();
    void scrollToNewest();

    // The pane cannot tell an empty document from one empty line, so it counts its lines.
    int lineCount_ = 0;
};

}  // namespace verimant
