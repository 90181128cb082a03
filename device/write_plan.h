#pragma once

#include "device/ext_flash_version.h"
#include "link/device_records.h"

#include <QList>
#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <vector>

namespace verimant {

class DeviceCommands;

// The line that frames each firmware write in the log.
inline const QString kWriteBannerLine = QStringLiteral("#######################################");

// Write requests the instrument takes in one piece: small-page processors and board 274 buffer 32
// bytes, the 245 boards of variant 4x buffer 64, everything else 128.
inline constexpr int kSmallChunkSize = 32;
inline constexpr int kMediumChunkSize = 64;
inline constexpr int kLargeChunkSize = 128;

// What the chunk size depends on. A boot loader below 0x400 has no board command and stands for a
// 245 board of variant 0.
struct ChunkSizeInputs {
    bool smallPageFamily = false;
    int boardCode = 0;
    std::uint8_t boardVariant = 0;
    std::uint16_t bootVersion = 0;
};

int transferChunkSize(const ChunkSizeInputs& inputs);
// The same rule fed from the instrument's cached records (reading what is missing).
int transferChunkSize(DeviceCommands& commands);

// One write request: instrument address, offset into the data and byte count.
struct Chunk {
    std::uint32_t address = 0;
    qsizetype offset = 0;
    int length = 0;
};

// A stretch of bytes: an offset (for the data image also its external-flash address) and a length.
struct ByteRange {
    std::uint32_t start = 0;
    qsizetype length = 0;
    bool operator==(const ByteRange&) const = default;
};

// Appends [start, end) to `ranges`, joined to the last range where they meet; nothing when empty.
void appendByteRange(QList<ByteRange>& ranges, std::uint32_t start, qsizetype end);

// Bytes up to the next multiple of `chunkSize`, never more than `remaining`, so no request crosses
// a chunk boundary (and therefore no page boundary either).
int nextChunkLength(std::uint32_t address, qsizetype remaining, int chunkSize);

// Walks `total` bytes starting at instrument address `start` in aligned chunks.
class ChunkCursor {
public:
    ChunkCursor(std::uint32_t start, qsizetype total, int chunkSize);

    bool atEnd() const { return done_ >= total_; }
    // The chunk to send next; meaningless at the end.
    Chunk current() const;
    void advance();

    qsizetype total() const { return total_; }
    qsizetype done() const { return done_; }
    qsizetype remaining() const { return total_ - done_; }

private:
    std::uint32_t start_;
    qsizetype total_;
    qsizetype done_ = 0;
    int chunkSize_;
};

// True when every byte of the chunk equals `erasedState`: once its page or sector has been erased,
// writing such a chunk changes nothing in the flash.
bool onlyErasedState(const std::uint8_t* bytes, int length, std::uint8_t erasedState);

// Whole percent of the work done, 0 for no work.
int progressPercent(qsizetype done, qsizetype total);

// Refresh at most once per interval, and always at the end.
class ProgressThrottle {
public:
    ProgressThrottle(int intervalMs, std::int64_t nowMs) : intervalMs_(intervalMs), last_(nowMs) {}

    // True (and the interval starts again) when more than the interval has passed or when
    // `finished`.
    bool due(std::int64_t nowMs, bool finished);

private:
    int intervalMs_;
    std::int64_t last_;
};

// The main-firmware writer's progress line, log and status bar alike: "37% 88Кб ".
QString kmt2ProgressText(qsizetype done, qsizetype total);

// The external-flash writer's progress line: "# Writing: 50% 2KB [>>>>>>>>>>>>>-------------]".
inline constexpr int kEflBarLength = 25;
QString eflProgressBar(int percent);
QString eflProgressText(qsizetype done, qsizetype total);

// The external flash is erased in 4 KiB sectors, each at most once per write. Addresses from 8 MiB
// on share the last entry, so a writer must not go past 8 MiB with this map.
inline constexpr int kEflSectorCount = 2048;
inline constexpr qint64 kEflMapSpan = qint64{kEflSectorSize} * kEflSectorCount;

class SectorEraseMap {
public:
    SectorEraseMap();

    static int sectorOf(std::uint32_t address);
    bool isErased(std::uint32_t address) const;
    void markErased(std::uint32_t address);
    void clear();

    // The addresses to erase before writing `chunk`, in order: its first byte, then its last, each
    // only when its sector is not marked and not already listed. A sector that receives no data
    // is never erased: it may hold what the instrument keeps behind the data (its settings).
    QList<std::uint32_t> erasesBefore(const Chunk& chunk) const;

private:
    std::vector<bool> erased_;
};

}  // namespace verimant
