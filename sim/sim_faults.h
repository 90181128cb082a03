#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <random>

namespace verimant::sim {

// Misbehaviour to inject, changeable while the instrument runs. Counts start when the faults are
// set.
struct SimFaults {
    double dropShare = 0.0;     // share of answers never sent
    double corruptShare = 0.0;  // share of answers sent with one damaged byte
    int lateMs = 0;             // every answer leaves this much later
    int silentAfter = -1;       // after this many requests, nothing more is answered (-1: never)
    // After this many bytes landed in either flash, the cable is pulled before the answer to the
    // write that reached the count (-1: never); the instrument comes back after unplugReturnMs
    // (-1: only when asked).
    long long unplugAfterBytes = -1;
    // After this many requests were carried out, the cable is pulled before the last one's answer
    // leaves (-1: never). Link tests (echo requests) do not count: they interleave by the tool's
    // timer, so counting them would move a cut point from run to run. A RESET among them still
    // restarts the instrument, which comes back in the new program. The return follows
    // unplugReturnMs as above.
    int cutAfterRequest = -1;
    int unplugReturnMs = -1;
    // An erase of the sector or page at this address (external or processor flash) is neither
    // carried out nor answered, as by a worn-out or locked page (-1: none).
    long long silentEraseAt = -1;
    // After its next restart the instrument answers as another one: this serial number and a
    // processor UID of its own (empty: none). Several instruments on one bench can swap ports so.
    QString serialAfterRestart;
    // After its next restart the instrument keeps its serial number but answers with a processor
    // UID of its own: two instruments with one serial number.
    bool uidAfterRestart = false;
    // A byte of either flash that does not take a write, though the write is answered as carried
    // out (-1: none).
    long long stuckByteAt = -1;
    // Reads (01 02 and 02 02) that ask for more than this many bytes are answered with this many
    // (-1: every count up to 255 in full), as by firmware with a smaller answer buffer.
    int readAnswerLimit = -1;
    // Reads that ask for more than this many bytes get no answer at all (-1: none), as by firmware
    // that drops a request it cannot serve.
    int readSilentAbove = -1;
    // This many RESETs are carried out with their answers lost on the line.
    int lostResetAnswers = 0;
};

// True when `body` (address fields and payload) asks to erase at `address`.
bool isEraseRequestAt(const QByteArray& body, long long address);

// Draws the random decisions of the faults from one seeded generator, so a run repeats.
class FaultDice {
public:
    explicit FaultDice(std::uint32_t seed = 1) : engine_(seed) {}
    bool roll(double share);
    // 0 .. count-1
    std::size_t pick(std::size_t count);

private:
    std::mt19937 engine_;
};

// Changes one body byte of an encoded frame so that its checksum no longer matches, leaving the
// delimiters and escape pairs intact. Unchanged when there is no such byte.
QByteArray corruptEncodedFrame(const QByteArray& frame, FaultDice& dice);

}  // namespace verimant::sim
