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
      outputIsTerminal_(isatty(fileno(output)) != 0),
      barAllowed_(outputIsTerminal_) {}

void TerminalDialogs::printBox(const char* kind, const QString& text) {
    endProgressLine();
    if (observer_) {
        observer_(QString::fromLatin1(kind).toLower(), text);
    }
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
        questionUnanswered_ = true;
        return false;
    }
    char line[1024];
    if (std::fgets(line, sizeof line, input_) == nullptr) {
        questionUnanswered_ = true;
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
        // Which option answers depends on the question; the command that asked says so.
        std::fprintf(output_, "no terminal to ask: answered no\n");
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
    // A status of figures alone ("55% 132Кб") keeps the label of the step it belongs to.
    if (const QString label = figureFreeLabel(text); !label.isEmpty() || text.isEmpty()) {
        barLabel_ = label;
    }
    if (text.isEmpty()) {
        endProgressLine();
        barActive_ = false;
        return;
    }
    // The bar's line carries the status as its label; a line of its own would break it up.
    if (barActive_) {
        drawBar();
        return;
    }
    if (finishedBarShown_) {
        endProgressLine();
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

// The percentage alone adds nothing on a terminal; 0 is where the writers and downloads reset
// their bar, so whatever comes next is not part of the last transfer.
void TerminalDialogs::setProgress(int percent) {
    if (percent == 0) {
        barActive_ = false;
    }
}

void TerminalDialogs::setByteProgress(qint64 done, qint64 total) {
    if (!barAllowed_ || total <= 0) {
        return;
    }
    // The rate counts from the first report of a transfer: when its first bytes went is not
    // known. A count that goes back is the next transfer (the read-back of a write).
    if (!barActive_ || done < barDone_) {
        barClock_.start();
        barStartDone_ = done;
        barThrottle_.reset();
    }
    barActive_ = true;
    barDone_ = done;
    barTotal_ = total;
    if (barThrottle_.due(barClock_.elapsed(), done >= total)) {
        drawBar();
    }
}

// A finished bar stays on its line as the transfer's summary; what follows starts below it.
void TerminalDialogs::drawBar() {
    if (finishedBarShown_) {
        endProgressLine();
    }
    const qint64 elapsedMs = barClock_.elapsed();
    const qint64 rate = elapsedMs > 0 ? (barDone_ - barStartDone_) * 1000 / elapsedMs : -1;
    const QByteArray line =
        terminalText(oneLine(progressBarLine(barLabel_, barDone_, barTotal_, rate)));
    std::fprintf(output_, "\r\033[K%s", line.constData());
    std::fflush(output_);
    progressLineOpen_ = true;
    if (barDone_ >= barTotal_) {
        barActive_ = false;
        finishedBarShown_ = true;
    }
}

void TerminalDialogs::endProgressLine() {
    finishedBarShown_ = false;
    if (progressLineOpen_) {
        std::fprintf(output_, "\n");
        progressLineOpen_ = false;
    }
}

}  // namespace verimant::cli
