#pragma once

#include "sim/flash_memory.h"
#include "sim/instrument_config.h"
#include "sim/memory_layout.h"
#include "sim/settings_image.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace verimant::sim {

inline constexpr std::uint32_t kExternalFlashSize = 8 * 1024 * 1024;
inline constexpr std::uint32_t kExternalFlashSector = 4096;
// The external flash's directory entry that locates the data version text.
inline constexpr std::uint32_t kEflVersionEntryAddress = 0x1010;
inline constexpr std::uint16_t kEflVersionSector = 2;
inline constexpr std::uint32_t kEflVersionTextOffset = 64;

enum class FlashTarget { External, Processor };

// One erase or write that the instrument carried out, in order.
struct FlashOperation {
    enum class Kind { Erase, Write };
    Kind kind = Kind::Write;
    FlashTarget target = FlashTarget::External;
    std::uint32_t address = 0;
    int length = 0;
    bool operator==(const FlashOperation&) const = default;
};

// The instrument's side of the protocol, without any I/O: one frame body in, at most one answer
// body out, from one consistent state. Requests the instrument does not take in its present state
// (an unknown command, a command of the other mode, the CPU flash variant its versions do not
// call for, board information before boot loader 0x400, an unknown parameter, a malformed
// request) get no answer, as the real firmware ignores them. A flash write that the flash refuses
// (bytes not erased, outside the writable area) is answered with a written length of 0, which the
// tool rejects at once, and is recorded.
class Instrument {
public:
    explicit Instrument(InstrumentConfig config = {});

    // `body` holds the address fields and the payload, without checksum.
    std::optional<QByteArray> handleFrame(const QByteArray& body);
    // The payload alone (command bytes first); the answer payload.
    std::optional<QByteArray> handlePayload(const QByteArray& payload);

    // A RESET that was answered; whoever hosts the instrument restarts it into this mode.
    std::optional<InstrumentMode> takePendingRestart();
    void restart(InstrumentMode mode);
    // Becomes the instrument with this serial number, with a processor UID unlike the present one.
    void assumeIdentity(const QString& serial);
    // Keeps the serial number and takes a processor UID unlike the present one.
    void assumeOtherUid();
    // See SimFaults::stuckByteAt; a negative address frees it.
    void setStuckByte(long long address);
    // See SimFaults::readAnswerLimit and readSilentAbove; negative values lift them.
    void setReadLimits(int answerLimit, int silentAbove);

    InstrumentMode mode() const { return mode_; }
    const InstrumentConfig& config() const { return config_; }
    const MemoryLayout& layout() const { return layout_; }

    // The program information as the running program reports it: main version 0 in the boot
    // loader.
    QByteArray programInfo() const;
    std::uint16_t reportedMainVersion() const;
    // The tool's rule for the CPU flash commands: new variant (03 06 / 03 07) when the main
    // version is not 0, the boot loader is 0x200 or later and its major is not 5.
    bool expectsNewCpuFlashVariant() const;

    // Instrument memory as 01 02 reads it; stops at the first unmapped byte.
    QByteArray readMemory(std::uint32_t address, int count) const;

    FlashMemory& externalFlash() { return externalFlash_; }
    const FlashMemory& externalFlash() const { return externalFlash_; }
    FlashMemory& processorFlash() { return processorFlash_; }
    const FlashMemory& processorFlash() const { return processorFlash_; }
    SettingsValues settingsCopy(int copy) const;

    std::optional<std::int32_t> parameter(std::uint16_t id) const;
    void setParameter(std::uint16_t id, std::int32_t value);
    const std::map<std::uint16_t, std::int32_t>& parameters() const { return parameters_; }

    // PC_CONNECTION and PC_PRINT texts in arrival order, as sent and decoded from CP1251.
    const QList<QByteArray>& screenTextBytes() const { return screenTexts_; }
    QStringList screenTexts() const;

    int requestCount() const { return requestCount_; }
    int requestCount(std::uint8_t group, std::uint8_t command) const;
    int unansweredCount() const { return unansweredCount_; }
    const std::vector<FlashOperation>& flashOperations() const { return flashOperations_; }
    // Bytes that landed in either flash.
    std::int64_t flashBytesWritten() const;

private:
    std::optional<QByteArray> dispatch(std::uint8_t group, std::uint8_t command,
                                       const QByteArray& data);
    std::optional<QByteArray> handleGeneral(std::uint8_t command, const QByteArray& data);
    std::optional<QByteArray> handleExternalFlash(std::uint8_t command, const QByteArray& data);
    std::optional<QByteArray> handleProcessorFlash(std::uint8_t command, const QByteArray& data);

    std::optional<QByteArray> readPiece(const QByteArray& data, bool externalFlash) const;
    std::optional<QByteArray> writeFlash(FlashTarget target, const QByteArray& data);
    std::optional<QByteArray> eraseFlash(FlashTarget target, const QByteArray& data);
    std::optional<QByteArray> reset(const QByteArray& data);
    std::optional<QByteArray> readParameter(const QByteArray& data) const;
    std::optional<QByteArray> writeParameter(const QByteArray& data);
    std::optional<QByteArray> boardInfo() const;
    std::optional<QByteArray> screenText(std::uint8_t command, const QByteArray& data);

    std::optional<std::uint8_t> byteAt(std::uint32_t address) const;
    void noteProcessorFlashChange(FlashTarget target);
    void programIdentity();
    void programExternalFlash();

    InstrumentConfig config_;
    MemoryLayout layout_;
    InstrumentMode mode_;
    std::optional<InstrumentMode> pendingRestart_;
    // What the main firmware reports while it runs; from the written firmware after a restart.
    std::uint16_t runningMainVersion_;
    // Set by the first change to the processor flash: from then on the boot loader looks at what
    // was written before it starts the main firmware.
    bool firmwareWritten_ = false;
    QByteArray platformDescription_;
    QByteArray boardRecord_;
    FlashMemory externalFlash_;
    FlashMemory processorFlash_;
    std::map<std::uint16_t, std::int32_t> parameters_;
    QList<QByteArray> screenTexts_;
    int requestCount_ = 0;
    int unansweredCount_ = 0;
    std::map<std::uint16_t, int> requestsByCommand_;
    std::vector<FlashOperation> flashOperations_;
    int readAnswerLimit_ = -1;
    int readSilentAbove_ = -1;
};

}  // namespace verimant::sim
