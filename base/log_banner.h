#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace verimant {

// The separator line that frames a run in the log: 40 "=".
QString logSeparatorLine();

// Date and time for the run's banners: the locale's short date and its long time without the
// time-zone name, one blank between them (29.06.2026 10:24:04 on a Russian system).
QString bannerDateTime(const QDateTime& moment, const QLocale& locale = QLocale::system());

// "END: " + the current local date and time; start-up writes the matching "START: " banner.
QString endBannerLine();

}  // namespace verimant
