#include "cli/terminal_dialogs.h"

#include "cli/terminal_text.h"

#include <QTextStream>

#include <unistd.h>

namespace verimant::cli {

namespace {
// A box's line breaks would split it over several lines of the terminal.
QString oneLine(const QString& text) {
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return line;
}
}  // namespace

TerminalDialogs::TerminalDialogs(bool assumeYes, std::FILE* input, std::FILE* output)
    : assumeYes_(assumeYes),
      input_(input),
      output_(output),
      outputIsTerminal_(isatty(fileno(output)) != 0) {}

void TerminalDialogs::printBox(const char* kind, const QString& text) {
    endProgressLine();
    std::fprintf(output_, "%s: %s\n", kind, terminalText(oneLine(text)).constData());
    std::fflush(output_);
}

void TerminalDialogs::showError(const QString& text) {
    printBox("Error", text);
}
void TerminalDialogs::showWarning(const QString& text) {
    printBox("Warning", text);
}
void TerminalDialogs::showInformation(const QString& text) {
    printBox("Information", text);
}

bool TerminalDialogs::readAnswer(QString& answer) {
    if (input_ == nullptr || isatty(fileno(input_)) == 0) {
        return false;
    }
    char line[1024];
    if (std::fgets(line, sizeof line, input_) == nullptr) {
        return false;
    }
    answer = QString::fromUtf8(line).trimmed();
    return true;
}

bool TerminalDialogs::askYesNo(const QString& text, const QString& caption) {
    printBox("Question", caption.isEmpty() ? text : caption + QStringLiteral(" ") + text);
    if (assumeYes_) {
        std::fprintf(output_, "  answered yes (--yes)\n");
        return true;
    }
    std::fprintf(output_, "  [y/N] ");
    std::fflush(output_);
    QString answer;
    if (!readAnswer(answer)) {
        std::fprintf(output_, "no terminal to ask: answered no (use --yes)\n");
        return false;
    }
    return answer.compare(QStringLiteral("y"), Qt::CaseInsensitive) == 0 ||
           answer.compare(QStringLiteral("yes"), Qt::CaseInsensitive) == 0;
}

bool TerminalDialogs::askText(const QString& caption, const QString& prompt, QString& value) {
    printBox("Question", caption + QStringLiteral(": ") + prompt + QStringLiteral(" [") + value +
                             QStringLiteral("]"));
    QString answer;
    if (!readAnswer(answer)) {
        return false;
    }
    if (!answer.isEmpty()) {
        value = answer;
    }
    return true;
}

bool TerminalDialogs::chooseFileToOpen(QString&) {
    return false;
}
bool TerminalDialogs::chooseFileToSave(QString&) {
    return false;
}

void TerminalDialogs::setStatusText(const QString& text) {
    statusText_ = text;
    if (text.isEmpty()) {
        endProgressLine();
        return;
    }
    const QByteArray line = terminalText(oneLine(text));
    if (outputIsTerminal_) {
        std::fprintf(output_, "\r\033[K%s", line.constData());
        progressLineOpen_ = true;
    } else {
        std::fprintf(output_, "%s\n", line.constData());
    }
    std::fflush(output_);
}

// The status text carries the figures; the bar's percentage alone adds nothing on a terminal.
void TerminalDialogs::setProgress(int) {}

void TerminalDialogs::endProgressLine() {
    if (progressLineOpen_) {
        std::fprintf(output_, "\n");
        progressLineOpen_ = false;
    }
}

}  // namespace verimant::cli
