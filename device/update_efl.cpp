#include "device/update_efl.h"

#include "base/activity_log.h"
#include "base/file_helpers.h"
#include "base/ui_language.h"
#include "base/user_dialogs.h"
#include "device/chunk_readback.h"
#include "device/device_session.h"
#include "device/efl_screen_texts.h"
#include "device/efl_write_order.h"
#include "device/link_check_pause.h"
#include "device/mode_switching.h"
#include "device/write_cancel.h"
#include "device/write_plan.h"
#include "device/write_verification.h"
#include "link/device_commands.h"
#include "link/device_protocol.h"
#include "platform/monotonic_clock.h"

#include <QFileInfo>

namespace verimant {

namespace {

constexpr int kProgressIntervalMs = 500;
constexpr int kConnectionTries = 3;
constexpr std::uint8_t kEflErasedState = 0xFF;

enum class WriteOutcome { Written, Failed, Cancelled, Unverified };

// One write of the data file: where it stands, and how many requests had to be repeated.
struct EflWrite {
    DeviceSession& session;
    const QByteArray& data;
    SectorEraseMap sectors;  // every sector is erased at most once per write
    int chunkSize;
    ProgressThrottle throttle;
    const WriteOptions& options;
    qsizetype done = 0;
    int retries = 0;
};

QString address6(std::uint32_t address) {
    return QStringLiteral("A=0x") + QString::number(address, 16).toUpper().rightJustified(6, u'0');
}

void printOnScreen(DeviceSession& session, const QString& text) {
    session.commands.pcPrint(text, false);
}

// Once, and a second time when the first failed; the second try counts as a repeat.
template <typename Request>
bool twoTries(EflWrite& write, Request request) {
    if (request()) {
        return true;
    }
    ++write.retries;
    return request();
}

bool eraseSector(EflWrite& write, std::uint32_t address) {
    const bool erased =
        twoTries(write, [&] { return write.session.commands.eraseEflashSector4K(address, false); });
    if (erased) {
        write.sectors.markErased(address);
    }
    return erased;
}

bool eraseAhead(EflWrite& write, const Chunk& chunk) {
    for (std::uint32_t address : write.sectors.erasesBefore(chunk)) {
        if (!eraseSector(write, address)) {
            return false;
        }
    }
    return true;
}

bool writeChunk(EflWrite& write, const Chunk& chunk) {
    DeviceSession& session = write.session;
    const auto* bytes =
        reinterpret_cast<const std::uint8_t*>(write.data.constData()) + chunk.offset;
    // The sectors under the chunk were erased just before it (eraseAhead), so bytes that only
    // repeat the erased state would change nothing.
    if (!write.options.writeAll && onlyErasedState(bytes, chunk.length, kEflErasedState)) {
        return true;
    }
    return twoTries(write, [&] {
        return session.commands.writeEflash(chunk.address, bytes, chunk.length, true) ||
               (lastRequestAnswered(session.protocol, DeviceProtocol::kExternalFlashChannel) &&
                eflashHolds(session.commands, chunk.address, bytes, chunk.length));
    });
}

void showProgress(EflWrite& write) {
    const qsizetype total = write.data.size();
    const int percent = progressPercent(write.done, total);
    write.session.log.ReplaceLastLine(eflProgressText(write.done, total));
    progressView().setProgress(percent);
    progressView().setByteProgress(write.done, total);
    if (percent != 0) {
        printOnScreen(write.session, eflBarFillText(percent));
        printOnScreen(write.session, eflSpinnerText());
    }
}

// The version sectors go first, so the old version is gone before any of its bytes change.
bool eraseVersionSectors(EflWrite& write, const QList<std::uint32_t>& sectors, Chunk& failed) {
    for (std::uint32_t sector : sectors) {
        const std::uint32_t address = sector * kEflSectorSize;
        if (!eraseSector(write, address)) {
            failed = {address, address, 0};
            return false;
        }
    }
    return true;
}

// Sends the file chunk by chunk, the version sectors last; `failed` is the chunk the write stopped
// at.
WriteOutcome writeAll(EflWrite& write, Chunk& failed) {
    const LinkCheckPause pause(write.session.flags);
    const QList<std::uint32_t> versionSectors = eflVersionSectors(write.data);
    if (!eraseVersionSectors(write, versionSectors, failed)) {
        return WriteOutcome::Failed;
    }
    for (const ByteRange& range : eflWriteOrder(write.data.size(), versionSectors)) {
        for (ChunkCursor cursor(range.start, range.length, write.chunkSize); !cursor.atEnd();
             cursor.advance()) {
            Chunk chunk = cursor.current();
            chunk.offset = chunk.address;  // file byte k goes to address k
            if (!eraseAhead(write, chunk) || !writeChunk(write, chunk)) {
                failed = chunk;
                return WriteOutcome::Failed;
            }
            write.done += chunk.length;
            const bool finished = write.done >= write.data.size();
            if (write.throttle.due(tickCountMs(), finished)) {
                showProgress(write);
            }
            if (writeCancelRequested() && !finished) {
                failed = chunk;
                return WriteOutcome::Cancelled;
            }
        }
    }
    return WriteOutcome::Written;
}

void announceOnInstrument(DeviceSession& session, const QString& fileName) {
    const int port = session.protocol.portNumber();
    for (int attempt = 0; attempt < kConnectionTries; ++attempt) {
        if (session.commands.pcConnection(eflConnectionText(port), false)) {
            break;
        }
    }
    for (const QString& text : eflOpeningScreen(port, fileName)) {
        printOnScreen(session, text);
    }
}

void logOutcome(DeviceSession& session, WriteOutcome outcome, const Chunk& chunk) {
    const QString where =
        address6(chunk.address) + QStringLiteral(" L=") + QString::number(chunk.length);
    if (outcome == WriteOutcome::Failed) {
        session.log.AddLine(QStringLiteral("# ОШИБКА ЗАПИСИ: ") + where);
        session.log.AddErrorLine(QStringLiteral("Обновление EFL не выполнено - ошибка записи"), 0);
    } else if (outcome == WriteOutcome::Cancelled) {
        session.log.AddLine(QStringLiteral("# ОТМЕНЕНО. Записано до: ") + where);
    } else if (outcome == WriteOutcome::Unverified) {
        session.log.AddErrorLine(QStringLiteral("Обновление EFL не выполнено - проверка записи"),
                                 0);
    }
}

// A data image that is empty, or long enough to reach the settings sectors, is refused with a log
// line and a box before anything is sent.
bool refuseDataFile(DeviceSession& session, qint64 size) {
    if (size == 0) {
        session.log.AddErrorLine(QStringLiteral("Обновление EFL не выполнено - файл пуст"), 0);
        userDialogs().showError(PickText(QStringLiteral("Файл данных EFL пуст"),
                                         QStringLiteral("The EFL data file is empty")));
        return true;
    }
    if (size <= kMaxEflFileSize) {
        return false;
    }
    session.log.AddErrorLine(
        QStringLiteral("Обновление EFL не выполнено - файл заходит в область установок: ") +
            QString::number(size),
        0);
    userDialogs().showError(PickText(
        QStringLiteral("Файл данных EFL длиннее 0x7FE000 байт и затёр бы установки прибора"),
        QStringLiteral("The EFL data file is longer than 0x7FE000 bytes and would overwrite the "
                       "instrument's settings")));
    return true;
}

bool writeDataFile(DeviceSession& session, const QByteArray& data, const QString& fileName,
                   const WriteOptions& options) {
    session.log.AddLine(kWriteBannerLine);
    session.log.AddLine(QStringLiteral("# Обновление EFL"));
    session.log.AddLine(QStringLiteral("# Запись файла в EXT FLASH"));
    session.log.AddLine(QStringLiteral("# FileName: [") + fileName + QStringLiteral("]"));
    const int port = session.protocol.portNumber();
    session.commands.pcConnection(eflConnectionText(port), false);

    const ProgressThrottle throttle(kProgressIntervalMs, tickCountMs());
    session.log.AddLine(QStringLiteral("# ЗАПИСЬ: 0% 0байт"));
    progressView().setProgress(0);
    progressView().setStatusText(PickText(QStringLiteral("Прошивка"), QStringLiteral("Firmware")) +
                                 QStringLiteral(" EFL [") + fileName + QStringLiteral("]"));
    announceOnInstrument(session, fileName);

    EflWrite write{session, data, {}, transferChunkSize(session.commands), throttle, options};
    Chunk failed;
    WriteOutcome outcome = writeAll(write, failed);
    if (outcome == WriteOutcome::Written && options.verify &&
        !verifyWritten(session, FlashArea::External, 0, data)) {
        outcome = WriteOutcome::Unverified;
    }
    if (outcome == WriteOutcome::Written) {
        for (const QString& text : eflEndScreen()) {
            printOnScreen(session, text);
        }
    }
    logOutcome(session, outcome, failed);
    session.log.AddLine(QStringLiteral("# Повторов:") + QString::number(write.retries));
    session.log.AddLine(kWriteBannerLine);
    progressView().setStatusText(QString());
    return outcome == WriteOutcome::Written;
}

}  // namespace

bool checkDataFile(DeviceSession& session, const QString& path) {
    const WholeFile file = readWholeFile(path, true);
    return file.ok && file.data && !refuseDataFile(session, file.data->size());
}

bool Update_EFL(DeviceSession& session, const QString& path, const WriteOptions& options) {
    session.log.AddLine(QStringLiteral("==>Update_EFL"));
    if (path.isEmpty()) {
        session.log.AddErrorLine(QStringLiteral("Обновление EFL не выполнено - нет файла"), 0);
        return false;
    }
    if (Device_Is_Booter_Or_KMT2(session) != kMainFirmwareRunning) {
        session.log.AddErrorLine(QStringLiteral("Обновление EFL не выполнено - режим загрузчика"),
                                 0);
        return false;
    }
    clearWriteCancel();
    const WholeFile file = readWholeFile(path, true);
    if (!file.ok || !file.data || refuseDataFile(session, file.data->size())) {
        return false;
    }
    return writeDataFile(session, *file.data, QFileInfo(path).fileName(), options);
}

}  // namespace verimant
