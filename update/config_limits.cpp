#include "update/config_limits.h"

#include "base/activity_log.h"

namespace verimant {

namespace {

constexpr qint64 kBytesPerMiB = 1024 * 1024;

}  // namespace

FetchOutcome fetchConfigFile(UpdateSource& source, const QString& serverName,
                             const QString& localPath, ActivityLog& log) {
    const FetchOutcome outcome = source.fetchFileUpTo(serverName, localPath, kMaxConfigBytes);
    if (outcome == FetchOutcome::TooLarge) {
        log.AddErrorLine(QStringLiteral("Ошибка : конфигурация [%1] больше %2 МиБ и не принята")
                             .arg(serverName)
                             .arg(kMaxConfigBytes / kBytesPerMiB),
                         0);
    }
    return outcome;
}

}  // namespace verimant
