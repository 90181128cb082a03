#include "cli/terminal_text.h"

namespace verimant::cli {

namespace {

// C0 controls, DEL and the C1 controls (which some terminals obey as escape sequences too).
bool isControl(char16_t c) {
    return (c < 0x20 && c != u'\n') || (c >= 0x7F && c <= 0x9F);
}

}  // namespace

QByteArray terminalText(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (isControl(c.unicode())) {
            shown += QStringLiteral("\\x%1").arg(int(c.unicode()), 2, 16, QLatin1Char('0'));
        } else {
            shown += c;
        }
    }
    return shown.toUtf8();
}

}  // namespace verimant::cli
