#include "link/device_commands.h"

#include "link/device_protocol.h"
#include "link/processor_platform.h"
#include "platform/cp1251.h"

#include <algorithm>
#include <cstring>

namespace verimant {

namespace {

constexpr int kMemoryPiece = 16;
constexpr int kMaxWriteLength = 128;
constexpr int kEchoLength = 5;  // address (4) and count or length (1)
// Address fields, command bytes, echo, contents and checksum, every byte stuffed, two delimiters.
static_assert(2 + 2 * (4 + 2 + kEchoLength + DeviceCommands::kMaxReadPiece + 2) <= kMaxEncodedFrame,
              "the longest read answer must fit one frame");
constexpr std::uint16_t kFirstBootWithBoardInfo = 0x400;
constexpr std::uint16_t kFirstBootWithScreenText = 0x200;
constexpr int kLegacyBoardCode = 245;
constexpr int kConnectionPayload = 16;
constexpr int kConnectionTextLimit = 13;
constexpr int kPrintTextLimit = 125;

constexpr std::uint8_t kGeneralGroup = 0x01;
constexpr std::uint8_t kEflashGroup = 0x02;
constexpr std::uint8_t kCpuFlashGroup = 0x03;

constexpr std::uint8_t kReadProgramInfo = 0x01;
constexpr std::uint8_t kReadMemory = 0x02;
constexpr std::uint8_t kReset = 0x05;
constexpr std::uint8_t kPcConnection = 0x06;
constexpr std::uint8_t kPcPrint = 0x07;
constexpr std::uint8_t kReadBoardInfo = 0x0A;
constexpr std::uint8_t kReadParameter = 0x0E;
constexpr std::uint8_t kWriteParameter = 0x0F;
constexpr std::uint8_t kEflashRead = 0x02;
constexpr std::uint8_t kEflashWrite = 0x03;
constexpr std::uint8_t kEflashErase4K = 0x05;
constexpr std::uint8_t kCpuWriteOld = 0x03;
constexpr std::uint8_t kCpuWriteNew = 0x06;
constexpr std::uint8_t kCpuEraseOld = 0x05;
constexpr std::uint8_t kCpuEraseNew = 0x07;

QString reported(bool report, const char* message) {
    return report ? QString::fromLatin1(message) : QString();
}

QByteArray request(std::uint8_t group, std::uint8_t command) {
    QByteArray payload;
    payload.append(char(group));
    payload.append(char(command));
    return payload;
}

const std::uint8_t* bytesOf(const QByteArray& bytes) {
    return reinterpret_cast<const std::uint8_t*>(bytes.constData());
}

bool echoesAddress(const QByteArray& answer, std::uint32_t address) {
    return answer.size() >= 4 && readLe32(bytesOf(answer)) == address;
}

// An answer that echoes another address or parameter answers an earlier request (a late
// duplicate after a resend) and is passed over. Answers too short to echo anything are left to the
// command's own checks.
DeviceProtocol::AnswerCheck forAddress(std::uint32_t address) {
    return [address](const QByteArray& answer) {
        return answer.size() < 4 || echoesAddress(answer, address);
    };
}

// A read answer longer than this request's count answers an earlier, larger request at the same
// address: a late answer to a read-back probe that was given up on.
DeviceProtocol::AnswerCheck forRead(std::uint32_t address, int count) {
    return [address, count](const QByteArray& answer) {
        return answer.size() < 4 ||
               (echoesAddress(answer, address) && answer.size() <= kEchoLength + count);
    };
}

DeviceProtocol::AnswerCheck forParameter(std::uint16_t id) {
    return [id](const QByteArray& answer) {
        return answer.size() < 2 || readLe16(bytesOf(answer)) == id;
    };
}

}  // namespace

DeviceCommands::DeviceCommands(DeviceProtocol& protocol) : protocol_(protocol) {}

bool DeviceCommands::cacheIsCurrent() const {
    return cacheConnection_ == protocol_.connectionCount();
}

void DeviceCommands::adoptConnection() {
    if (cacheIsCurrent()) {
        return;
    }
    // Everything cached came over an earlier connection, possibly from another instrument.
    programInfoPresent_ = platformPresent_ = boardInfoPresent_ = uidPresent_ = false;
    programInfo_ = ProgramInfo{};
    platform_ = PlatformDescription{};
    boardInfo_ = BoardInfo{};
    uid_.fill(0);
    cacheConnection_ = protocol_.connectionCount();
}

int DeviceCommands::readPiece(Command command, std::uint32_t address, std::uint8_t* buffer,
                              int count, const QString& message, int sends) {
    ProtocolChannel* target = protocol_.channel(command.channel);
    if (target == nullptr || buffer == nullptr || count < 0 || count > kMaxReadPiece) {
        return -1;
    }
    QByteArray payload = request(command.group, command.code);
    appendLe32(payload, address);
    payload.append(char(count));
    if (!protocol_.transact(target, payload, message, forRead(address, count), sends)) {
        return -1;
    }
    const QByteArray answer = protocol_.answerData(target);
    // Only the echoed address is checked; the count byte of the echo is not.
    if (answer.size() < kEchoLength || !echoesAddress(answer, address)) {
        return -1;
    }
    const int contents = int(answer.size()) - kEchoLength;
    if (contents > count) {
        return -1;
    }
    std::memcpy(buffer, answer.constData() + kEchoLength, size_t(contents));
    return contents;
}

int DeviceCommands::readMemory(std::uint32_t address, std::uint8_t* buffer, int length,
                               bool report) {
    if (buffer == nullptr) {
        return -1;
    }
    const QString message = reported(report, "No answer in Reading");
    const int piece = std::min(kMemoryPiece, length);
    int total = 0;
    while (total < length) {
        // The last piece never asks beyond the caller's buffer.
        const int count = std::min(piece, length - total);
        const int got = readPiece({DeviceProtocol::kGeneralChannel, kGeneralGroup, kReadMemory},
                                  address + total, buffer + total, count, message);
        // A short piece would leave a hole in the caller's data that the total hides.
        if (got != count) {
            return -1;
        }
        total += count;
    }
    return total;
}

int DeviceCommands::readEflash(std::uint32_t address, std::uint8_t* buffer, int length,
                               bool report) {
    return readPiece({DeviceProtocol::kExternalFlashChannel, kEflashGroup, kEflashRead}, address,
                     buffer, length, reported(report, "No answer in reading EFLASH"));
}

int DeviceCommands::readMemoryPiece(std::uint32_t address, std::uint8_t* buffer, int count,
                                    int sends) {
    return readPiece({DeviceProtocol::kGeneralChannel, kGeneralGroup, kReadMemory}, address, buffer,
                     count, QString(), sends);
}

int DeviceCommands::readEflashPiece(std::uint32_t address, std::uint8_t* buffer, int count,
                                    int sends) {
    return readPiece({DeviceProtocol::kExternalFlashChannel, kEflashGroup, kEflashRead}, address,
                     buffer, count, QString(), sends);
}

bool DeviceCommands::writePiece(Command command, std::uint32_t address, const std::uint8_t* data,
                                int length, const QString& message) {
    ProtocolChannel* target = protocol_.channel(command.channel);
    if (target == nullptr || data == nullptr || length < 0 || length > kMaxWriteLength) {
        return false;
    }
    QByteArray payload = request(command.group, command.code);
    appendLe32(payload, address);
    payload.append(char(length));
    payload.append(reinterpret_cast<const char*>(data), length);
    if (!protocol_.transact(target, payload, message, forAddress(address))) {
        return false;
    }
    const QByteArray answer = protocol_.answerData(target);
    return answer.size() == kEchoLength && echoesAddress(answer, address) &&
           std::uint8_t(answer[4]) == length;
}

bool DeviceCommands::writeEflash(std::uint32_t address, const std::uint8_t* data, int length,
                                 bool report) {
    return writePiece({DeviceProtocol::kExternalFlashChannel, kEflashGroup, kEflashWrite}, address,
                      data, length, reported(report, "No answer in EFLASH Write"));
}

bool DeviceCommands::writeCpuFlash(std::uint32_t address, const std::uint8_t* data, int length,
                                   bool report) {
    const std::uint8_t code = usesNewCpuFlashVariant() ? kCpuWriteNew : kCpuWriteOld;
    return writePiece({DeviceProtocol::kCpuFlashChannel, kCpuFlashGroup, code}, address, data,
                      length, reported(report, "No answer in Flash of CPU Writing"));
}

bool DeviceCommands::sendAddressCommand(Command command, std::uint32_t address,
                                        const QString& message) {
    ProtocolChannel* target = protocol_.channel(command.channel);
    if (target == nullptr) {
        return false;
    }
    QByteArray payload = request(command.group, command.code);
    appendLe32(payload, address);
    return protocol_.transact(target, payload, message, forAddress(address));
}

bool DeviceCommands::eraseEflashSector4K(std::uint32_t address, bool report) {
    return sendAddressCommand({DeviceProtocol::kExternalFlashChannel, kEflashGroup, kEflashErase4K},
                              address, reported(report, "No Answer in Erasing EFLASH sector 4K"));
}

bool DeviceCommands::eraseCpuFlashSector(std::uint32_t address, bool report) {
    const std::uint8_t code = usesNewCpuFlashVariant() ? kCpuEraseNew : kCpuEraseOld;
    return sendAddressCommand({DeviceProtocol::kCpuFlashChannel, kCpuFlashGroup, code}, address,
                              reported(report, "No answer in Erasing Sector of CPU Flash"));
}

bool DeviceCommands::readProgramInfo(ProgramInfo* info, bool report) {
    programInfoPresent_ = false;
    ProtocolChannel* target = protocol_.channel(DeviceProtocol::kGeneralChannel);
    if (target == nullptr ||
        !protocol_.transact(target, request(kGeneralGroup, kReadProgramInfo),
                            reported(report, "No answer in reading information about Programm"))) {
        return false;
    }
    const std::optional<ProgramInfo> answer = ProgramInfo::fromBytes(protocol_.answerData(target));
    if (!answer) {
        return false;
    }
    adoptConnection();
    programInfo_ = *answer;
    programInfoPresent_ = true;
    if (info != nullptr) {
        *info = programInfo_;
    }
    return true;
}

bool DeviceCommands::readPlatformDescription(PlatformDescription* description, bool report) {
    platformPresent_ = false;
    if (!hasProgramInfo() && !readProgramInfo(nullptr, report)) {
        return false;
    }
    if (programInfo_.platformDescriptionAddress == 0) {
        return false;
    }
    PlatformDescription block;
    if (readMemory(programInfo_.platformDescriptionAddress, block.raw.data(),
                   PlatformDescription::kSize, report) <= 0) {
        return false;
    }
    adoptConnection();
    platform_ = block;
    platformPresent_ = true;
    if (description != nullptr) {
        *description = platform_;
    }
    return true;
}

bool DeviceCommands::resetDevice(std::uint8_t mode, bool report) {
    ProtocolChannel* target = protocol_.channel(DeviceProtocol::kGeneralChannel);
    if (target == nullptr) {
        return false;
    }
    QByteArray payload = request(kGeneralGroup, kReset);
    payload.append(char(mode));
    payload.append(QByteArray("\x00\x00\x00\x0A", 4));
    return protocol_.transact(target, payload, reported(report, "No answer - RESET"));
}

bool DeviceCommands::readParameter(ParameterRecord& record, bool report) {
    record.value = 0;
    record.further.fill(0);
    ProtocolChannel* target = protocol_.channel(DeviceProtocol::kGeneralChannel);
    if (target == nullptr) {
        return false;
    }
    QByteArray payload = request(kGeneralGroup, kReadParameter);
    appendLe16(payload, record.id);
    if (!protocol_.transact(target, payload, reported(report, "No answer - Parameter READ"),
                            forParameter(record.id))) {
        return false;
    }
    return record.assignFrom(protocol_.answerData(target));
}

bool DeviceCommands::writeParameter(ParameterRecord& record) {
    ProtocolChannel* target = protocol_.channel(DeviceProtocol::kGeneralChannel);
    if (target == nullptr) {
        return false;
    }
    QByteArray payload = request(kGeneralGroup, kWriteParameter);
    appendLe16(payload, record.id);
    appendLe32(payload, record.value);
    if (!protocol_.transact(target, payload, QStringLiteral("No answer - Parameter WRITE"),
                            forParameter(record.id))) {
        return false;
    }
    const QByteArray answer = protocol_.answerData(target);
    if (answer.size() != ParameterRecord::kShortSize) {
        return false;
    }
    record.value = readLe32(bytesOf(answer) + 2);
    return true;
}

bool DeviceCommands::readBoardInfo(BoardInfo* info, bool report) {
    // The whole cached record is cleared, not only the code: a stale variant byte from an earlier
    // instrument would pick the wrong transfer sizes.
    if (info != nullptr) {
        *info = BoardInfo{};
    }
    boardInfo_ = BoardInfo{};
    if (!ensurePlatformRecords()) {
        return false;
    }
    if (programInfo_.bootVersion < kFirstBootWithBoardInfo) {
        return false;
    }
    ProtocolChannel* target = protocol_.channel(DeviceProtocol::kGeneralChannel);
    if (target == nullptr ||
        !protocol_.transact(target, request(kGeneralGroup, kReadBoardInfo),
                            reported(report, "No answer in reading Board Information"))) {
        return false;
    }
    const std::optional<BoardInfo> answer = BoardInfo::fromBytes(protocol_.answerData(target));
    if (!answer) {
        return false;
    }
    adoptConnection();
    boardInfo_ = *answer;
    boardInfoPresent_ = true;
    if (info != nullptr) {
        *info = boardInfo_;
    }
    return true;
}

int DeviceCommands::boardCode() {
    if (!hasProgramInfo() && !readProgramInfo(nullptr, false)) {
        return 0;
    }
    if (programInfo_.bootVersion < kFirstBootWithBoardInfo) {
        adoptConnection();
        boardInfo_ = BoardInfo{kLegacyBoardCode, 0, 0};
        boardInfoPresent_ = true;
        return kLegacyBoardCode;
    }
    if (!hasBoardInfo() && !readBoardInfo(nullptr, false)) {
        return 0;
    }
    return boardInfo_.boardCode;
}

bool DeviceCommands::readProcessorUid(ProcessorUid* uid) {
    if (uid != nullptr) {
        uid->fill(0);
    }
    uidPresent_ = false;
    if (!ensurePlatformRecords()) {
        return false;
    }
    const std::uint32_t address = verimant::uniqueIdAddress(programInfo_, platform_);
    if (address == 0) {
        return false;
    }
    ProcessorUid read{};
    if (readMemory(address, read.data(), int(read.size()), true) <= 0) {
        uid_.fill(0);
        return false;
    }
    adoptConnection();
    uid_ = read;
    uidPresent_ = true;
    if (uid != nullptr) {
        *uid = uid_;
    }
    return true;
}

bool DeviceCommands::sendScreenText(const QByteArray& payload, const QString& message) {
    ProtocolChannel* target = protocol_.channel(DeviceProtocol::kGeneralChannel);
    return target != nullptr && protocol_.transact(target, payload, message);
}

bool DeviceCommands::pcConnection(const QString& text, bool report) {
    if (!ensurePlatformRecords() || protocol_.channel(DeviceProtocol::kGeneralChannel) == nullptr ||
        programInfo_.mainVersion == 0) {
        return false;
    }
    QByteArray payload = request(kGeneralGroup, kPcConnection);
    payload.append(encodeCp1251(text).left(kConnectionTextLimit));
    payload.append(QByteArray(kConnectionPayload - payload.size(), '\0'));
    const QString message = report ? "No answer form Device : PC_CONNECTION [" + text + "]" : "";
    return sendScreenText(payload, message);
}

bool DeviceCommands::pcPrint(const QString& text, bool report) {
    if (!ensurePlatformRecords() || protocol_.channel(DeviceProtocol::kGeneralChannel) == nullptr ||
        (programInfo_.mainVersion == 0 && programInfo_.bootVersion < kFirstBootWithScreenText)) {
        return false;
    }
    QByteArray payload = request(kGeneralGroup, kPcPrint);
    payload.append(encodeCp1251(text).left(kPrintTextLimit));
    payload.append('\0');
    const QString message = report ? "No answer from Device : PC_PRINT [" + text + "]" : "";
    return sendScreenText(payload, message);
}

bool DeviceCommands::ensurePlatformRecords() {
    // A failed program-information read after the description was cached leaves the pair
    // inconsistent; reading the description again brings both back.
    if (hasPlatformDescription() && hasProgramInfo()) {
        return true;
    }
    return readPlatformDescription(nullptr, true);
}

int DeviceCommands::flashPageSize() {
    return ensurePlatformRecords() ? processorType(platform_.processorTypeCode()).flashPageSize : 0;
}

int DeviceCommands::flashSize() {
    return ensurePlatformRecords() ? processorType(platform_.processorTypeCode()).flashSize : 0;
}

std::uint32_t DeviceCommands::flashBase() {
    return ensurePlatformRecords() ? processorType(platform_.processorTypeCode()).flashBase : 0;
}

std::uint32_t DeviceCommands::uniqueIdAddress() {
    return ensurePlatformRecords() ? verimant::uniqueIdAddress(programInfo_, platform_) : 0;
}

std::uint32_t DeviceCommands::mainFirmwareStartAddress() {
    return ensurePlatformRecords() ? verimant::mainFirmwareStartAddress(platform_) : 0;
}

std::uint32_t DeviceCommands::checksumWordAddress() {
    return ensurePlatformRecords() ? verimant::checksumWordAddress(programInfo_, platform_) : 0;
}

std::uint32_t DeviceCommands::boardRecordAddress() {
    return ensurePlatformRecords() ? verimant::boardRecordAddress(platform_) : 0;
}

bool DeviceCommands::isSmallPageFamily() {
    return ensurePlatformRecords() && processorType(platform_.processorTypeCode()).smallPageFamily;
}

bool DeviceCommands::usesNewCpuFlashVariant() const {
    return hasProgramInfo() && verimant::usesNewCpuFlashVariant(programInfo_);
}

}  // namespace verimant
