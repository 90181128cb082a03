#include "cli/progress_bar.h"

#include <QRegularExpression>

#include <algorithm>

namespace verimant::cli {

namespace {

constexpr int kBarWidth = 20;
constexpr int kLabelWidth = 32;

QString barText(qint64 done, qint64 total) {
    const int filled = total > 0 ? int(std::min(done, total) * kBarWidth / total) : 0;
    return QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
           QString(kBarWidth - filled, QLatin1Char('-')) + QLatin1Char(']');
}

QString timeText(qint64 seconds) {
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// Long file names would push the figures off an 80-column terminal.
QString shortLabel(const QString& label) {
    return label.size() <= kLabelWidth ? label : label.left(kLabelWidth - 1) + QChar(0x2026);
}

}  // namespace

QString figureFreeLabel(const QString& status) {
    // A figure stands alone between blanks: "55%.hex" inside a file name is not one.
    static const QRegularExpression figure(
        QStringLiteral("(?<!\\S)\\d+(?:[.,]\\d+)?\\s*(?:%|Кб|КБ|кб|байт|B|KiB|MiB|GiB|Kb|KB|MB)"
                       "(?:\\s*/\\s*\\d+(?:[.,]\\d+)?\\s*(?:B|KiB|MiB|GiB|Кб|КБ|байт))?(?!\\S)"));
    return QString(status).remove(figure).simplified();
}

QString byteAmountText(qint64 bytes) {
    if (bytes < 1024) {
        return QStringLiteral("%1 B").arg(bytes);
    }
    const double kib = double(bytes) / 1024.0;
    if (kib < 1024.0) {
        return QStringLiteral("%1 KiB").arg(kib, 0, 'f', 1);
    }
    return QStringLiteral("%1 MiB").arg(kib / 1024.0, 0, 'f', 1);
}

QString progressBarLine(const QString& label, qint64 done, qint64 total, qint64 bytesPerSecond) {
    done = std::clamp<qint64>(done, 0, std::max<qint64>(total, 0));
    const int percent = total > 0 ? int(done * 100 / total) : 0;
    QString rate = QStringLiteral("-- B/s");
    QString left = done >= total ? timeText(0) : QStringLiteral("--:--");
    if (bytesPerSecond > 0) {
        rate = byteAmountText(bytesPerSecond) + QStringLiteral("/s");
        left = timeText((total - done + bytesPerSecond - 1) / bytesPerSecond);
    }
    QString line = shortLabel(label);
    if (!line.isEmpty()) {
        line += QLatin1Char(' ');
    }
    return line + QStringLiteral("%1 %2%  %3 / %4  %5  %6 left")
                      .arg(barText(done, total))
                      .arg(percent, 3)
                      .arg(byteAmountText(done), byteAmountText(total), rate, left);
}

bool RedrawThrottle::due(qint64 nowMs, bool finished) {
    if (drawn_ && !finished && nowMs - lastMs_ < intervalMs_) {
        return false;
    }
    drawn_ = true;
    lastMs_ = nowMs;
    return true;
}

}  // namespace verimant::cli
