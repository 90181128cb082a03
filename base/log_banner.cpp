#include "base/log_banner.h"

#include <QRegularExpression>

namespace verimant {

namespace {

// Qt's long time form ends with the time-zone name ("t"), which the banner never carried.
QString longTimeFormatWithoutZone(const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b\\s*"));
    format.replace(zone, QStringLiteral(" "));
    return format.trimmed();
}

}  // namespace

QString logSeparatorLine() {
    return QString(40, QLatin1Char('='));
}

QString bannerDateTime(const QDateTime& moment, const QLocale& locale) {
    return locale.toString(moment.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(moment.time(), longTimeFormatWithoutZone(locale));
}

QString endBannerLine() {
    return QStringLiteral("END: ") + bannerDateTime(QDateTime::currentDateTime());
}

}  // namespace verimant
