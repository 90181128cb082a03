#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

namespace verimant {

// The one running record of a run. The window's log pane shows it through the signals; the lines
// here are the pane's contents, and the report file is made from them at exit.
class ActivityLog : public QObject {
    Q_OBJECT
public:
    explicit ActivityLog(QObject* parent = nullptr);

    // Appends unless the text equals the last appended line (case counts), so a line repeated by
    // a polling loop shows once until another line comes between.
    void AddLine(const QString& text);
    // text + ": ERC[" + code + "]", under the same rule.
    void AddErrorLine(const QString& text, int code);
    // Appends a line that a writer's progress must not overwrite (an operator's stop, say): the
    // next ReplaceLastLine appends its text after it instead.
    void AddLastingLine(const QString& text);
    // Overwrites the last line in place; the kept last line for the repeat rule stays unchanged.
    void ReplaceLastLine(const QString& text);
    // Empties the lines; the kept last line survives.
    void clear();

    const QStringList& lines() const { return lines_; }
    const QString& lastLine() const { return lastLine_; }
    // The report file's bytes: every line in CP1251 followed by one 0x0A.
    QByteArray reportBytes() const;

signals:
    void lineAppended(const QString& line);
    void lastLineReplaced(const QString& line);
    void cleared();

private:
    void append(const QString& line);

    QStringList lines_;
    QString lastLine_;
    bool lastLineLasts_ = false;
};

}  // namespace verimant
