#include "device/write_plan.h"

#include "link/device_commands.h"

#include <algorithm>

namespace verimant {

namespace {

constexpr int kNarrowBoardCode = 274;
constexpr int kLegacyBoardCode = 245;
constexpr int kMediumVariantTens = 4;
constexpr std::uint16_t kFirstBootWithBoardInfo = 0x400;

}  // namespace

int transferChunkSize(const ChunkSizeInputs& inputs) {
    int boardCode = inputs.boardCode;
    int variant = inputs.boardVariant;
    if (inputs.bootVersion < kFirstBootWithBoardInfo) {
        boardCode = kLegacyBoardCode;
        variant = 0;
    }
    // The board-245 rule overrides the other two, the small-page family included.
    if (boardCode == kLegacyBoardCode && variant / 10 == kMediumVariantTens) {
        return kMediumChunkSize;
    }
    if (inputs.smallPageFamily || boardCode == kNarrowBoardCode) {
        return kSmallChunkSize;
    }
    return kLargeChunkSize;
}

int transferChunkSize(DeviceCommands& commands) {
    ChunkSizeInputs inputs;
    inputs.smallPageFamily = commands.isSmallPageFamily();
    inputs.boardCode = commands.boardCode();
    inputs.boardVariant = commands.boardInfo().variant;
    inputs.bootVersion = commands.programInfo().bootVersion;
    return transferChunkSize(inputs);
}

void appendByteRange(QList<ByteRange>& ranges, std::uint32_t start, qsizetype end) {
    if (end <= qsizetype(start)) {
        return;
    }
    if (!ranges.isEmpty() && qsizetype(ranges.last().start) + ranges.last().length == start) {
        ranges.last().length = end - qsizetype(ranges.last().start);
        return;
    }
    ranges.append({start, end - qsizetype(start)});
}

int nextChunkLength(std::uint32_t address, qsizetype remaining, int chunkSize) {
    const qsizetype toBoundary = chunkSize - qsizetype(address % std::uint32_t(chunkSize));
    return int(std::min(toBoundary, remaining));
}

ChunkCursor::ChunkCursor(std::uint32_t start, qsizetype total, int chunkSize)
    : start_(start), total_(std::max<qsizetype>(total, 0)), chunkSize_(chunkSize) {}

Chunk ChunkCursor::current() const {
    const auto address = std::uint32_t(start_ + std::uint64_t(done_));
    return {address, done_, nextChunkLength(address, remaining(), chunkSize_)};
}

void ChunkCursor::advance() {
    if (!atEnd()) {
        done_ += current().length;
    }
}

bool onlyErasedState(const std::uint8_t* bytes, int length, std::uint8_t erasedState) {
    return std::all_of(bytes, bytes + length, [=](std::uint8_t b) { return b == erasedState; });
}

int progressPercent(qsizetype done, qsizetype total) {
    return total > 0 ? int(qint64(done) * 100 / qint64(total)) : 0;
}

bool ProgressThrottle::due(std::int64_t nowMs, bool finished) {
    if (!finished && nowMs - last_ <= intervalMs_) {
        return false;
    }
    last_ = nowMs;
    return true;
}

QString kmt2ProgressText(qsizetype done, qsizetype total) {
    return QString::number(progressPercent(done, total)) + QStringLiteral("% ") +
           QString::number(qint64(done) / 1024) + QStringLiteral("Кб ");
}

QString eflProgressBar(int percent) {
    QString bar;
    for (int k = 0; k < kEflBarLength; ++k) {
        bar += 4 * k <= percent ? QLatin1Char('>') : QLatin1Char('-');
    }
    return bar;
}

QString eflProgressText(qsizetype done, qsizetype total) {
    const int percent = progressPercent(done, total);
    return QStringLiteral("# Writing: ") + QString::number(percent) + QStringLiteral("% ") +
           QString::number(qint64(done) / 1024) + QStringLiteral("KB [") + eflProgressBar(percent) +
           QStringLiteral("]");
}

SectorEraseMap::SectorEraseMap() : erased_(kEflSectorCount, false) {}

int SectorEraseMap::sectorOf(std::uint32_t address) {
    return int(std::min<std::uint32_t>(address / kEflSectorSize, kEflSectorCount - 1));
}

bool SectorEraseMap::isErased(std::uint32_t address) const {
    return erased_[sectorOf(address)];
}

void SectorEraseMap::markErased(std::uint32_t address) {
    erased_[sectorOf(address)] = true;
}

void SectorEraseMap::clear() {
    std::fill(erased_.begin(), erased_.end(), false);
}

QList<std::uint32_t> SectorEraseMap::erasesBefore(const Chunk& chunk) const {
    QList<std::uint32_t> addresses;
    if (chunk.length <= 0) {
        return addresses;
    }
    const std::uint32_t last = chunk.address + std::uint32_t(chunk.length - 1);
    for (std::uint32_t address : {chunk.address, last}) {
        const bool listed =
            !addresses.isEmpty() && sectorOf(addresses.first()) == sectorOf(address);
        if (!isErased(address) && !listed) {
            addresses.append(address);
        }
    }
    return addresses;
}

}  // namespace verimant
