#pragma once

#include "link/device_protocol.h"
#include "link/device_records.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace verimant {

// The instrument's command set over the protocol, with the last program information, platform
// description, board information and processor identifier read. Commands that take `report` show
// their own time-out text in an error box when it is set and stay silent otherwise; a wrong answer
// (length or echoed fields) fails silently. All run on the GUI thread.
class DeviceCommands {
public:
    explicit DeviceCommands(DeviceProtocol& protocol);

    // Reads in pieces of min(16, length) bytes on the general channel; the total read or -1.
    int readMemory(std::uint32_t address, std::uint8_t* buffer, int length, bool report);
    // One piece of at most 255 bytes from the external flash; the bytes read (possibly 0) or -1.
    int readEflash(std::uint32_t address, std::uint8_t* buffer, int length, bool report);
    // The largest count a read request carries (one byte); its answer frame stays within what the
    // frame codec sends and decodes even when every byte needs stuffing.
    static constexpr int kMaxReadPiece = 255;
    // One quiet piece of at most kMaxReadPiece bytes with the general read (01 02) or the external
    // flash's read (02 02), sent at most `sends` times; the bytes read (possibly fewer) or -1.
    int readMemoryPiece(std::uint32_t address, std::uint8_t* buffer, int count, int sends);
    int readEflashPiece(std::uint32_t address, std::uint8_t* buffer, int count, int sends);
    // At most 128 bytes; the instrument must echo address and length.
    bool writeEflash(std::uint32_t address, const std::uint8_t* data, int length, bool report);
    bool writeCpuFlash(std::uint32_t address, const std::uint8_t* data, int length, bool report);
    bool eraseEflashSector4K(std::uint32_t address, bool report);
    bool eraseCpuFlashSector(std::uint32_t address, bool report);

    bool readProgramInfo(ProgramInfo* info, bool report);
    bool readPlatformDescription(PlatformDescription* description, bool report);
    // Mode bit 0 selects the boot loader; the tool sends kResetToBootLoader or
    // kResetToMainFirmware.
    static constexpr std::uint8_t kResetToBootLoader = 0x03;
    static constexpr std::uint8_t kResetToMainFirmware = 0x02;
    bool resetDevice(std::uint8_t mode, bool report);
    // Asks for record.id; the answer overwrites the record's start (6 or 22 bytes).
    bool readParameter(ParameterRecord& record, bool report);
    // Always reports a time-out; record.value becomes the value the instrument now holds.
    bool writeParameter(ParameterRecord& record);
    bool readBoardInfo(BoardInfo* info, bool report);
    // The board code, 245 for boot loaders without the board command, 0 on failure.
    int boardCode();
    bool readProcessorUid(ProcessorUid* uid);
    // Screen texts in the instrument's markup, sent in CP1251.
    bool pcConnection(const QString& text, bool report);
    bool pcPrint(const QString& text, bool report);

    // Platform answers from the cached records, reading them (with report) when absent; 0 / false
    // when they cannot be read.
    int flashPageSize();
    int flashSize();
    std::uint32_t flashBase();
    std::uint32_t uniqueIdAddress();
    std::uint32_t mainFirmwareStartAddress();
    std::uint32_t checksumWordAddress();
    std::uint32_t boardRecordAddress();
    bool isSmallPageFamily();

    // The CPU flash command pair in force: new only with a cached program information that allows
    // it.
    bool usesNewCpuFlashVariant() const;

    // Records count as present only while the connection they were read over lasts: the port
    // closing or opening again may mean another instrument.
    bool hasProgramInfo() const { return programInfoPresent_ && cacheIsCurrent(); }
    bool hasPlatformDescription() const { return platformPresent_ && cacheIsCurrent(); }
    bool hasBoardInfo() const { return boardInfoPresent_ && cacheIsCurrent(); }
    bool hasProcessorUid() const { return uidPresent_ && cacheIsCurrent(); }
    const ProgramInfo& programInfo() const { return programInfo_; }
    const PlatformDescription& platformDescription() const { return platform_; }
    const BoardInfo& boardInfo() const { return boardInfo_; }
    const ProcessorUid& processorUid() const { return uid_; }

private:
    // Where a request goes and its two command bytes.
    struct Command {
        int channel;
        std::uint8_t group;
        std::uint8_t code;
    };

    int readPiece(Command command, std::uint32_t address, std::uint8_t* buffer, int count,
                  const QString& message, int sends = DeviceProtocol::kMaxSends);
    bool writePiece(Command command, std::uint32_t address, const std::uint8_t* data, int length,
                    const QString& message);
    bool sendAddressCommand(Command command, std::uint32_t address, const QString& message);
    bool ensurePlatformRecords();
    bool cacheIsCurrent() const;
    // Forgets the cached records when they came over an earlier connection; called before a new
    // record is cached.
    void adoptConnection();
    bool sendScreenText(const QByteArray& payload, const QString& message);

    DeviceProtocol& protocol_;
    ProgramInfo programInfo_;
    PlatformDescription platform_;
    BoardInfo boardInfo_;
    ProcessorUid uid_{};
    bool programInfoPresent_ = false;
    bool platformPresent_ = false;
    bool boardInfoPresent_ = false;
    bool uidPresent_ = false;
    std::uint64_t cacheConnection_ = 0;
};

}  // namespace verimant
