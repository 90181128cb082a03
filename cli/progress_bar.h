#pragma once

#include <QString>
#include <QtGlobal>

namespace verimant::cli {

// One terminal line for a transfer: `label`, a bar, the percentage, bytes done of total, the rate
// and the time left ("[#########-----------]  45%  1.2 MiB / 2.6 MiB  350 KiB/s  0:04 left").
// A negative or zero rate is not known yet: rate and time left then show "--".
QString progressBarLine(const QString& label, qint64 done, qint64 total, qint64 bytesPerSecond);

// A status text as the bar's label: without the percentages and byte amounts ("55% 132Кб",
// "Проверка записи 13%") that the bar shows itself, so each figure appears once. Empty when the
// text held nothing else.
QString figureFreeLabel(const QString& status);

// Byte amounts as people read them: "512 B", "1.5 KiB", "2.6 MiB".
QString byteAmountText(qint64 bytes);

// When the bar is worth redrawing: at most every `intervalMs`, and always at a transfer's end,
// so that the last figures shown are the final ones.
class RedrawThrottle {
public:
    explicit RedrawThrottle(qint64 intervalMs) : intervalMs_(intervalMs) {}

    bool due(qint64 nowMs, bool finished);
    void reset() { drawn_ = false; }

private:
    qint64 intervalMs_;
    qint64 lastMs_ = 0;
    bool drawn_ = false;
};

}  // namespace verimant::cli
