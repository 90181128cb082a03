#include "device/update_kmt2.h"

#include "base/activity_log.h"
#include "base/file_helpers.h"
#include "base/ui_language.h"
#include "base/user_dialogs.h"
#include "device/chunk_readback.h"
#include "device/device_session.h"
#include "device/firmware_record_file.h"
#include "device/flash_image.h"
#include "device/link_check_pause.h"
#include "device/mode_switching.h"
#include "device/write_cancel.h"
#include "device/write_plan.h"
#include "device/write_verification.h"
#include "link/device_commands.h"
#include "link/device_protocol.h"
#include "platform/monotonic_clock.h"

#include <QFileInfo>

#include <optional>

namespace verimant {

namespace {

constexpr int kProgressIntervalMs = 200;

// Where the firmware goes in this instrument's processor flash.
struct FirmwarePlacement {
    int typeCode = 0;
    int pageSize = 0;
    int flashSize = 0;
    std::uint32_t flashBase = 0;
    std::uint32_t mainStart = 0;
    std::uint32_t checksumAddress = 0;
    FirmwareRegion region;
};

QString hex32(std::uint32_t value) {
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(8, u'0');
}

// The geometry from the platform description, or nothing (with an error line) when the firmware
// and its checksum word cannot be placed inside the flash: nothing may be erased then.
std::optional<FirmwarePlacement> readFlashTarget(DeviceSession& session) {
    DeviceCommands& commands = session.commands;
    FirmwarePlacement target;
    target.pageSize = commands.flashPageSize();
    target.flashSize = commands.flashSize();
    target.flashBase = commands.flashBase();
    target.mainStart = commands.mainFirmwareStartAddress();
    target.checksumAddress = commands.checksumWordAddress();
    if (!commands.hasPlatformDescription()) {
        session.log.AddErrorLine(
            QStringLiteral("Обновление KMT2 не выполнено - нет описания платформы прибора"), 0);
        return std::nullopt;
    }
    target.typeCode = commands.platformDescription().processorTypeCode();
    if (target.pageSize <= 0 || target.flashSize <= 0) {
        session.log.AddErrorLine(
            QStringLiteral("Обновление KMT2 не выполнено - неизвестный тип процессора ") +
                QString::number(target.typeCode),
            0);
        return std::nullopt;
    }
    const auto region = firmwareRegion(target.flashSize, target.flashBase, target.mainStart,
                                       target.checksumAddress);
    // Pages are erased as the write reaches their first byte: an unaligned start would leave its
    // first page unerased, and a start at the flash base would erase the boot loader's own page.
    if (region && (target.mainStart % std::uint32_t(target.pageSize) != 0 || region->start == 0)) {
        session.log.AddErrorLine(
            QStringLiteral("Обновление KMT2 не выполнено - начало ПО не на границе страницы "
                           "после загрузчика: S=") +
                hex32(target.mainStart) + QStringLiteral(" страница ") +
                QString::number(target.pageSize),
            0);
        return std::nullopt;
    }
    if (!region) {
        session.log.AddErrorLine(
            QStringLiteral("Обновление KMT2 не выполнено - область ПО вне флэш-памяти: S=") +
                hex32(target.mainStart) + QStringLiteral(" E=") + hex32(target.checksumAddress),
            0);
        return std::nullopt;
    }
    target.region = *region;
    return target;
}

// The sealed image, or nothing when the record file has errors (their boxes have been shown).
std::optional<QByteArray> buildSealedImage(const QByteArray& contents,
                                           const FirmwarePlacement& target) {
    QByteArray image = makeFlashImage(target.typeCode, target.flashSize);
    if (!buildFlashImage(contents, image, target.region) ||
        !sealFirmwareImage(image, target.region, flashImageFillByte(target.typeCode))) {
        return std::nullopt;
    }
    return image;
}

void showProgress(DeviceSession& session, const ChunkCursor& cursor) {
    const QString text = kmt2ProgressText(cursor.done(), cursor.total());
    session.log.ReplaceLastLine(text);
    progressView().setProgress(progressPercent(cursor.done(), cursor.total()));
    progressView().setStatusText(text);
    progressView().setByteProgress(cursor.done(), cursor.total());
}

bool writeChunk(DeviceSession& session, const Chunk& chunk, const std::uint8_t* bytes) {
    if (session.commands.writeCpuFlash(chunk.address, bytes, chunk.length, true)) {
        return true;
    }
    return lastRequestAnswered(session.protocol, DeviceProtocol::kCpuFlashChannel) &&
           cpuFlashHolds(session.commands, chunk.address, bytes, chunk.length);
}

void reportWriteFailure(DeviceSession& session) {
    session.log.AddErrorLine(QStringLiteral("Ошибка записи"), 0);
    userDialogs().showError(PickText(QStringLiteral("Ошибка во время загрузки программы"),
                                     QStringLiteral("Error in dowloading data to Device")));
}

// A chunk that only repeats the erased state needs no request once its page is erased, except the
// last one: it carries the checksum word, which is always written.
bool needsSending(const Chunk& chunk, const std::uint8_t* bytes, std::uint32_t erasedEnd,
                  bool lastChunk, const FirmwarePlacement& target, const WriteOptions& options) {
    return options.writeAll || lastChunk ||
           chunk.address + std::uint32_t(chunk.length) > erasedEnd ||
           !onlyErasedState(bytes, chunk.length, flashImageFillByte(target.typeCode));
}

// `sent` gathers the stretches of the region that went to the instrument.
bool writeRegion(DeviceSession& session, const QByteArray& image, const FirmwarePlacement& target,
                 ProgressThrottle& throttle, const WriteOptions& options, QList<ByteRange>& sent) {
    const int chunkSize = transferChunkSize(session.commands);
    const LinkCheckPause pause(session.flags);
    const auto* region =
        reinterpret_cast<const std::uint8_t*>(image.constData()) + target.region.start;
    ChunkCursor cursor(target.mainStart, target.region.length(), chunkSize);
    std::uint32_t erasedEnd = target.mainStart;  // pages below it were erased in this run
    while (!cursor.atEnd()) {
        const Chunk chunk = cursor.current();
        if (chunk.address % std::uint32_t(target.pageSize) == 0) {
            if (!session.commands.eraseCpuFlashSector(chunk.address, false)) {
                session.log.AddErrorLine(
                    QStringLiteral("Ошибка стирания страницы A=") + hex32(chunk.address), 0);
                return false;
            }
            erasedEnd = chunk.address + std::uint32_t(target.pageSize);
        }
        const bool lastChunk = cursor.remaining() == chunk.length;
        if (needsSending(chunk, region + chunk.offset, erasedEnd, lastChunk, target, options)) {
            if (!writeChunk(session, chunk, region + chunk.offset)) {
                reportWriteFailure(session);
                return false;
            }
            appendByteRange(sent, std::uint32_t(chunk.offset), chunk.offset + chunk.length);
        }
        cursor.advance();
        if (throttle.due(tickCountMs(), cursor.atEnd())) {
            showProgress(session, cursor);
        }
    }
    // A stop is not taken here: a firmware cut short leaves the instrument in its boot loader.
    if (writeCancelRequested()) {
        session.log.AddLastingLine(
            QStringLiteral("STOP : the main firmware was written to its end before stopping"));
    }
    return true;
}

// Every byte that was sent is read back. The stretches left out only repeat the erased state of
// pages erased in this run; a page that did not erase would break the checksum word over the whole
// region, so the boot loader would not start the firmware and the run's closing version check
// fails. Reading them too would double a verified upgrade's time for bytes the write never sent.
bool verifyRegion(DeviceSession& session, const QByteArray& image, const FirmwarePlacement& target,
                  const QList<ByteRange>& sent) {
    const QByteArrayView region(image.constData() + target.region.start, target.region.length());
    if (verifyWritten(session, FlashArea::Processor, target.mainStart, region, sent)) {
        return true;
    }
    session.log.AddErrorLine(QStringLiteral("Обновление KMT2 не выполнено - проверка записи"), 0);
    return false;
}

bool writeFirmware(DeviceSession& session, const QByteArray& contents, const QString& fileName,
                   const WriteOptions& options) {
    session.log.AddLine(kWriteBannerLine);
    session.log.AddLine(QStringLiteral("# Обновление KMT2"));
    session.log.AddLine(QStringLiteral("# FileName: [") + fileName + QStringLiteral("]"));
    const auto target = readFlashTarget(session);
    if (!target) {
        return false;
    }
    const auto image = buildSealedImage(contents, *target);
    const QString status = QStringLiteral("Загрузка ПО KMT2 [") + fileName + QStringLiteral("]");
    progressView().setStatusText(status);
    if (!image) {
        return false;
    }
    progressView().setStatusText(status + QStringLiteral(" 0%"));
    session.log.AddLine(QStringLiteral(" Загрузка 0%"));
    ProgressThrottle throttle(kProgressIntervalMs, tickCountMs());
    QList<ByteRange> sent;
    return writeRegion(session, *image, *target, throttle, options, sent) &&
           (!options.verify || verifyRegion(session, *image, *target, sent));
}

}  // namespace

bool checkFirmwareFile(DeviceSession& session, const QString& path) {
    const WholeFile file = readWholeFile(path, true);
    if (!file.ok || !file.data) {
        return false;
    }
    const auto target = readFlashTarget(session);
    return target && buildSealedImage(*file.data, *target).has_value();
}

bool Update_KMT2(DeviceSession& session, const QString& path, const WriteOptions& options) {
    session.log.AddLine(QStringLiteral("==>Update_KMT2"));
    if (path.isEmpty()) {
        session.log.AddErrorLine(QStringLiteral("Обновление KMT2 не выполнено - нет файла"), 0);
        return false;
    }
    if (Device_Is_Booter_Or_KMT2(session) != kBootLoaderRunning) {
        session.log.AddErrorLine(
            QStringLiteral("Обновление KMT2 не выполнено - прибор не в режиме загрузчика"), 0);
        return false;
    }
    clearWriteCancel();
    const WholeFile file = readWholeFile(path, true);
    if (!file.ok || !file.data) {
        return false;
    }
    const bool written = writeFirmware(session, *file.data, QFileInfo(path).fileName(), options);
    progressView().setProgress(0);
    return written;
}

}  // namespace verimant
