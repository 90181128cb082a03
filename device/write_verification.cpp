#include "device/write_verification.h"

#include "base/activity_log.h"
#include "base/ui_language.h"
#include "base/user_dialogs.h"
#include "device/device_session.h"
#include "device/write_plan.h"
#include "link/device_commands.h"
#include "platform/monotonic_clock.h"

#include <QString>

#include <algorithm>
#include <array>
#include <optional>

namespace verimant {

namespace {

constexpr int kProgressIntervalMs = 200;

QString address6(std::uint32_t address) {
    return QStringLiteral("A=0x") + QString::number(address, 16).toUpper().rightJustified(6, u'0');
}

std::optional<ReadBackFinding> lastFinding;

struct Mismatch {
    std::optional<ReadBackFinding> first;
    qsizetype count = 0;

    void take(std::uint32_t address, const std::uint8_t* read, const std::uint8_t* expected,
              int length) {
        for (int i = 0; i < length; ++i) {
            if (read[i] != expected[i]) {
                if (!first) {
                    first = ReadBackFinding{address + std::uint32_t(i), expected[i], read[i], 0};
                }
                ++count;
            }
        }
    }
};

void showProgress(DeviceSession& session, qsizetype done, qsizetype total) {
    const int percent = progressPercent(done, total);
    session.log.ReplaceLastLine(QStringLiteral("# ПРОВЕРКА: ") + QString::number(percent) +
                                QLatin1Char('%'));
    progressView().setProgress(percent);
    progressView().setStatusText(
        PickText(QStringLiteral("Проверка записи"), QStringLiteral("Verifying the write")) +
        QLatin1Char(' ') + QString::number(percent) + QLatin1Char('%'));
    progressView().setByteProgress(done, total);
}

}  // namespace

bool verifyWritten(DeviceSession& session, FlashArea area, std::uint32_t start,
                   QByteArrayView expected) {
    return verifyWritten(session, area, start, expected, {{0, expected.size()}});
}

bool verifyWritten(DeviceSession& session, FlashArea area, std::uint32_t start,
                   QByteArrayView expected, const QList<ByteRange>& stretches) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(expected.data());
    qsizetype total = 0;
    for (const ByteRange& stretch : stretches) {
        total += stretch.length;
    }
    session.log.AddLine(QStringLiteral("# ПРОВЕРКА: 0%"));
    ProgressThrottle throttle(kProgressIntervalMs, tickCountMs());
    Mismatch mismatch;
    ReadBackPieces pieces(session.commands, area);
    std::array<std::uint8_t, DeviceCommands::kMaxReadPiece> buffer{};
    qsizetype done = 0;
    for (const ByteRange& stretch : stretches) {
        for (qsizetype at = stretch.start; at < stretch.start + stretch.length;) {
            const qsizetype left = stretch.start + stretch.length - at;
            const int wanted = int(std::min<qsizetype>(DeviceCommands::kMaxReadPiece, left));
            const std::uint32_t address = start + std::uint32_t(at);
            const int count = pieces.next(address, buffer.data(), wanted);
            if (count <= 0) {
                session.log.AddLine(QStringLiteral("# ПРОВЕРКА: ") + pieces.sizeNote());
                session.log.AddLine(QStringLiteral("# ПРОВЕРКА: нет ответа ") + address6(address));
                return false;
            }
            mismatch.take(address, buffer.data(), bytes + at, count);
            at += count;
            done += count;
            if (throttle.due(tickCountMs(), done >= total)) {
                showProgress(session, done, total);
            }
        }
    }
    progressView().setProgress(0);
    session.log.AddLine(QStringLiteral("# ПРОВЕРКА: ") + pieces.sizeNote());
    if (mismatch.first) {
        session.log.AddLine(QStringLiteral("# ПРОВЕРКА: расхождение с ") +
                            address6(mismatch.first->address) + QStringLiteral(", байт: ") +
                            QString::number(mismatch.count));
        lastFinding = mismatch.first;
        lastFinding->differing = mismatch.count;
        return false;
    }
    lastFinding.reset();
    session.log.AddLine(QStringLiteral("# ПРОВЕРКА: OK"));
    return true;
}

std::optional<ReadBackFinding> lastReadBackFinding() {
    return lastFinding;
}

void clearReadBackFinding() {
    lastFinding.reset();
}

}  // namespace verimant
