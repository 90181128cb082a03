#include "device/readback_pieces.h"

#include "link/device_commands.h"
#include "link/device_protocol.h"

#include <algorithm>

namespace verimant {

namespace {

// Silence is itself the probe's answer; the resends would only triple what it costs.
constexpr int kProbeSends = 1;

}  // namespace

ReadBackPieces::ReadBackPieces(DeviceCommands& commands, FlashArea area)
    : commands_(commands), area_(area), pieceSize_(DeviceCommands::kMaxReadPiece) {}

int ReadBackPieces::read(std::uint32_t address, std::uint8_t* buffer, int count, int sends) {
    return area_ == FlashArea::External ? commands_.readEflashPiece(address, buffer, count, sends)
                                        : commands_.readMemoryPiece(address, buffer, count, sends);
}

int ReadBackPieces::runProbe(std::uint32_t address, std::uint8_t* buffer, int count) {
    probeSize_ = count;
    const int got = read(address, buffer, count, kProbeSends);
    if (got == count) {
        probe_ = Probe::Full;
        pieceSize_ = count;
        return got;
    }
    if (got > 0) {
        probe_ = Probe::Short;
        pieceSize_ = got;
        return got;
    }
    probe_ = Probe::Unanswered;
    pieceSize_ = kFallbackPiece;
    return 0;
}

int ReadBackPieces::next(std::uint32_t address, std::uint8_t* buffer, int wanted) {
    int count = std::min(pieceSize_, wanted);
    if (count <= 0) {
        return -1;
    }
    if (probe_ == Probe::NotYet && count > kFallbackPiece) {
        const int got = runProbe(address, buffer, count);
        if (got > 0) {
            largestRead_ = std::max(largestRead_, got);
            return got;
        }
        count = std::min(pieceSize_, wanted);
    }
    if (read(address, buffer, count, DeviceProtocol::kMaxSends) != count) {
        return -1;
    }
    largestRead_ = std::max(largestRead_, count);
    return count;
}

QString ReadBackPieces::sizeNote() const {
    const int size = probe_ == Probe::NotYet ? largestRead_ : pieceSize_;
    const QString used =
        QStringLiteral("чтение по ") + QString::number(size) + QStringLiteral(" байт");
    switch (probe_) {
        case Probe::Short:
            return QStringLiteral("прибор дал ") + QString::number(pieceSize_) +
                   QStringLiteral(" байт из ") + QString::number(probeSize_) +
                   QStringLiteral(", ") + used;
        case Probe::Unanswered:
            return QStringLiteral("нет ответа на чтение ") + QString::number(probeSize_) +
                   QStringLiteral(" байт, ") + used;
        case Probe::NotYet:
        case Probe::Full:
            break;
    }
    return used;
}

}  // namespace verimant
