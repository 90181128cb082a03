#include "sim/memory_layout.h"

#include <QtEndian>

#include <algorithm>

namespace verimant::sim {

namespace {

constexpr std::uint32_t kMaxBootLoaderArea = 0x4000;
// A quirk of the first processor family's description: the tool looks a little further on.
constexpr std::uint32_t kShiftedRecordField = 0x8002780;
constexpr std::uint32_t kShiftedRecordAddress = 0x80027F0;

void putLe16(QByteArray& block, int offset, std::uint16_t value) {
    qToLittleEndian(value, block.data() + offset);
}

void putLe32(QByteArray& block, int offset, std::uint32_t value) {
    qToLittleEndian(value, block.data() + offset);
}

}  // namespace

MemoryLayout memoryLayoutFor(const InstrumentConfig& config) {
    MemoryLayout layout;
    layout.geometry = processorGeometry(config.processorType);
    const ProcessorGeometry& g = layout.geometry;
    const std::uint32_t identityBase = g.flashSize != 0 ? g.flashBase : kSystemMemoryBase;
    const bool earlyBoot = config.bootVersion <= kLastEarlyBootVersion;

    layout.platformDescriptionAddress = identityBase + kPlatformDescriptionOffset;
    layout.boardRecordField =
        config.boardRecordField != 0 ? config.boardRecordField : identityBase + kBoardRecordOffset;
    layout.boardRecordAddress = layout.boardRecordField;
    if (config.processorType == 1 && layout.boardRecordField == kShiftedRecordField) {
        layout.boardRecordAddress = kShiftedRecordAddress;
    }
    if (g.flashSize != 0) {
        layout.mainFirmwareStart = g.flashBase + std::min(kMaxBootLoaderArea, g.flashSize / 4);
        layout.checksumWordAddress =
            earlyBoot ? kEarlyChecksumWordAddress : g.flashBase + g.flashSize - 4;
    }
    if (config.mainFirmwareStart != 0) {
        layout.mainFirmwareStart = config.mainFirmwareStart;
    }
    if (config.checksumWordAddress != 0) {
        layout.checksumWordAddress = config.checksumWordAddress;
    }
    if (g.uidAddress != 0) {
        layout.uidAddresses.push_back(g.uidAddress);
    }
    if (earlyBoot && g.uidAddress != kEarlyUidAddress) {
        layout.uidAddresses.push_back(kEarlyUidAddress);
    }
    return layout;
}

QByteArray programInfoBlock(std::uint16_t bootVersion, std::uint16_t mainVersion,
                            std::uint32_t platformDescriptionAddress) {
    QByteArray block(8, '\0');
    putLe16(block, 0, bootVersion);
    putLe16(block, 2, mainVersion);
    putLe32(block, 4, platformDescriptionAddress);
    return block;
}

QByteArray platformDescriptionBlock(int processorType, const MemoryLayout& layout) {
    QByteArray block(kPlatformDescriptionSize, '\0');
    putLe16(block, 0, std::uint16_t(processorType));
    putLe32(block, 10, layout.boardRecordField);
    putLe32(block, 14, layout.mainFirmwareStart);
    putLe32(block, 18, layout.checksumWordAddress);
    return block;
}

QByteArray boardRecordBlock(const InstrumentConfig& config) {
    QByteArray block(kBoardRecordSize, '\0');
    block[1] = char(config.boardType);
    block[2] = char(config.boardVersion);
    block[3] = char(config.assembling1);
    block[4] = char(config.assembling2);
    const QByteArray digits = parseSerialDigits(config.serial).value_or(QByteArray(8, '\0'));
    for (int pair = 0; pair < 4; ++pair) {
        const int low = digits[2 * pair] & 0x0F;
        const int high = digits[2 * pair + 1] & 0x0F;
        block[9 + pair] = char(low | (high << 4));
    }
    return block;
}

}  // namespace verimant::sim
