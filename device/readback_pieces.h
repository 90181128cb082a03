#pragma once

#include <QString>

#include <cstdint>

namespace verimant {

class DeviceCommands;

enum class FlashArea { Processor, External };

// Reads one area back in pieces as large as the instrument answers, for one read-back run. The
// first piece above kFallbackPiece is the probe, sent once: a full answer keeps the size asked, a
// shorter one sets the size to what came, and no answer or a refused one (nothing, a wrong echo)
// falls back to kFallbackPiece for the rest of the run. A probe whose answer was merely lost on
// the line only costs speed, never a wrong verdict.
class ReadBackPieces {
public:
    // The size every instrument answers: what the tool always asked for before.
    static constexpr int kFallbackPiece = 16;

    enum class Probe { NotYet, Full, Short, Unanswered };

    ReadBackPieces(DeviceCommands& commands, FlashArea area);

    // Reads the next piece at `address`, at most `wanted` bytes and at most the run's piece size;
    // the bytes read (at least 1), or -1 when the instrument did not answer it in full.
    int next(std::uint32_t address, std::uint8_t* buffer, int wanted);

    int pieceSize() const { return pieceSize_; }
    Probe probe() const { return probe_; }
    // For the log: the size read with and, after a probe that did not get its full answer, why.
    QString sizeNote() const;

private:
    int read(std::uint32_t address, std::uint8_t* buffer, int count, int sends);
    int runProbe(std::uint32_t address, std::uint8_t* buffer, int count);

    DeviceCommands& commands_;
    FlashArea area_;
    int pieceSize_;
    int probeSize_ = 0;
    int largestRead_ = 0;
    Probe probe_ = Probe::NotYet;
};

}  // namespace verimant
