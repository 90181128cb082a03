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

// Both read commands are asked for at most this much at a time.
constexpr int kReadPiece = 16;
constexpr int kProgressIntervalMs = 200;

QString address6(std::uint32_t address) {
    return QStringLiteral("A=0x") + QString::number(address, 16).toUpper().rightJustified(6, u'0');
}

struct Mismatch {
    std::optional<std::uint32_t> first;
    qsizetype count = 0;

    void take(std::uint32_t address, const std::uint8_t* read, const std::uint8_t* expected,
              int length) {
        for (int i = 0; i < length; ++i) {
            if (read[i] != expected[i]) {
                if (!first) {
                    first = address + std::uint32_t(i);
                }
                ++count;
            }
        }
    }
};

int readPiece(DeviceCommands& commands, FlashArea area, std::uint32_t address, std::uint8_t* buffer,
              int count) {
    return area == FlashArea::External ? commands.readEflash(address, buffer, count, false)
                                       : commands.readMemory(address, buffer, count, false);
}

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
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(expected.data());
    const qsizetype total = expected.size();
    session.log.AddLine(QStringLiteral("# ПРОВЕРКА: 0%"));
    ProgressThrottle throttle(kProgressIntervalMs, tickCountMs());
    Mismatch mismatch;
    std::array<std::uint8_t, kReadPiece> buffer{};
    for (qsizetype done = 0; done < total;) {
        const int count = int(std::min<qsizetype>(kReadPiece, total - done));
        const std::uint32_t address = start + std::uint32_t(done);
        if (readPiece(session.commands, area, address, buffer.data(), count) != count) {
            session.log.AddLine(QStringLiteral("# ПРОВЕРКА: нет ответа ") + address6(address));
            return false;
        }
        mismatch.take(address, buffer.data(), bytes + done, count);
        done += count;
        if (throttle.due(tickCountMs(), done >= total)) {
            showProgress(session, done, total);
        }
    }
    progressView().setProgress(0);
    if (mismatch.first) {
        session.log.AddLine(QStringLiteral("# ПРОВЕРКА: расхождение с ") +
                            address6(*mismatch.first) + QStringLiteral(", байт: ") +
                            QString::number(mismatch.count));
        return false;
    }
    session.log.AddLine(QStringLiteral("# ПРОВЕРКА: OK"));
    return true;
}

}  // namespace verimant
