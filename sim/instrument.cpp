#include "sim/instrument.h"

#include "platform/cp1251.h"
#include "sim/main_firmware_check.h"

#include <QtEndian>

#include <algorithm>

namespace verimant::sim {

namespace {

constexpr std::uint8_t kGeneralGroup = 0x01;
constexpr std::uint8_t kExternalFlashGroup = 0x02;
constexpr std::uint8_t kProcessorFlashGroup = 0x03;
constexpr std::uint8_t kAnswerBit = 0x40;

namespace general {
constexpr std::uint8_t kEcho = 0x00;
constexpr std::uint8_t kProgramInfo = 0x01;
constexpr std::uint8_t kReadMemory = 0x02;
constexpr std::uint8_t kReset = 0x05;
constexpr std::uint8_t kPcConnection = 0x06;
constexpr std::uint8_t kPcPrint = 0x07;
constexpr std::uint8_t kBoardInfo = 0x0A;
constexpr std::uint8_t kReadParameter = 0x0E;
constexpr std::uint8_t kWriteParameter = 0x0F;
}  // namespace general

namespace flash {
constexpr std::uint8_t kRead = 0x02;
constexpr std::uint8_t kWrite = 0x03;
constexpr std::uint8_t kErase = 0x05;
constexpr std::uint8_t kWriteNew = 0x06;
constexpr std::uint8_t kEraseNew = 0x07;
}  // namespace flash

constexpr std::uint16_t kFirstBoardInfoBoot = 0x400;
constexpr std::uint16_t kFirstBootPcPrint = 0x200;
constexpr int kLongParameterExtra = 16;

const QByteArray kInstrumentAddress = QByteArray("\x00\x01", 2);

std::uint32_t le32(const QByteArray& data, int offset) {
    return qFromLittleEndian<std::uint32_t>(data.constData() + offset);
}

std::uint16_t le16(const QByteArray& data, int offset) {
    return qFromLittleEndian<std::uint16_t>(data.constData() + offset);
}

QByteArray le32Bytes(std::uint32_t value) {
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray le16Bytes(std::uint16_t value) {
    QByteArray bytes(2, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray untilZero(const QByteArray& bytes) {
    const qsizetype end = bytes.indexOf('\0');
    return end < 0 ? bytes : bytes.left(end);
}

}  // namespace

Instrument::Instrument(InstrumentConfig config)
    : config_(std::move(config)),
      layout_(memoryLayoutFor(config_)),
      mode_(config_.startMode),
      runningMainVersion_(config_.mainVersion),
      platformDescription_(platformDescriptionBlock(config_.processorType, layout_)),
      boardRecord_(boardRecordBlock(config_)),
      externalFlash_(0, kExternalFlashSize, kExternalFlashSector),
      processorFlash_(layout_.geometry.flashBase, layout_.geometry.flashSize,
                      layout_.geometry.pageSize),
      parameters_(config_.parameters) {
    config_.uid = config_.uid.leftJustified(kUidSize, '\0', true);
    parameters_[kLanguageParameterId] = config_.language;
    processorFlash_.setWritableStart(layout_.mainFirmwareStart);
    programIdentity();
    programExternalFlash();
}

void Instrument::programIdentity() {
    processorFlash_.program(layout_.platformDescriptionAddress, platformDescription_);
    processorFlash_.program(layout_.boardRecordAddress, boardRecord_);
}

void Instrument::assumeIdentity(const QString& serial) {
    config_.serial = serial;
    for (char& byte : config_.uid) {
        byte = char(~byte);
    }
    boardRecord_ = boardRecordBlock(config_);
    programIdentity();
}

void Instrument::assumeOtherUid() {
    for (char& byte : config_.uid) {
        byte = char(~byte);
    }
}

void Instrument::setStuckByte(long long address) {
    const auto stuck =
        address < 0 ? std::nullopt : std::optional<std::uint32_t>(std::uint32_t(address));
    externalFlash_.setStuckByte(stuck);
    processorFlash_.setStuckByte(stuck);
}

void Instrument::setReadLimits(int answerLimit, int silentAbove) {
    readAnswerLimit_ = answerLimit;
    readSilentAbove_ = silentAbove;
}

void Instrument::programExternalFlash() {
    if (!config_.eflVersionText.isEmpty()) {
        QByteArray entry(16, '\0');
        qToLittleEndian(kEflVersionSector, entry.data() + 2);
        qToLittleEndian(std::uint32_t(config_.eflVersionText.size()), entry.data() + 6);
        externalFlash_.program(kEflVersionEntryAddress, entry);
        externalFlash_.program(kEflVersionSector * kExternalFlashSector + kEflVersionTextOffset,
                               config_.eflVersionText + '\0');
    }
    if (config_.settingsStart == SettingsStart::Erased) {
        return;
    }
    const SettingsValues good = factorySettings(config_.language);
    SettingsValues first = good;
    if (config_.settingsStart == SettingsStart::Copy0Bad) {
        first[kLanguageSettingIndex] += 1;  // check value no longer matches
    }
    externalFlash_.program(kSettingsCopyAddress[0], settingsBytes(first));
    externalFlash_.program(kSettingsCopyAddress[1], settingsBytes(good));
}

std::optional<QByteArray> Instrument::handleFrame(const QByteArray& body) {
    if (body.size() < 6 || body.left(2) != kInstrumentAddress) {
        return std::nullopt;
    }
    const std::optional<QByteArray> answer = handlePayload(body.mid(4));
    if (!answer) {
        return std::nullopt;
    }
    return body.mid(2, 2) + kInstrumentAddress + *answer;
}

std::optional<QByteArray> Instrument::handlePayload(const QByteArray& payload) {
    if (payload.size() < 2) {
        return std::nullopt;
    }
    const auto group = std::uint8_t(payload[0]);
    const auto command = std::uint8_t(payload[1]);
    ++requestCount_;
    ++requestsByCommand_[std::uint16_t(group << 8 | command)];
    std::optional<QByteArray> data;
    if (((group | command) & 0xC0) == 0) {
        data = dispatch(group, command, payload.mid(2));
    }
    if (!data) {
        ++unansweredCount_;
        return std::nullopt;
    }
    return QByteArray(1, char(group | kAnswerBit)) + char(command) + *data;
}

std::optional<QByteArray> Instrument::dispatch(std::uint8_t group, std::uint8_t command,
                                               const QByteArray& data) {
    switch (group) {
        case kGeneralGroup:
            return handleGeneral(command, data);
        case kExternalFlashGroup:
            return handleExternalFlash(command, data);
        case kProcessorFlashGroup:
            return handleProcessorFlash(command, data);
        default:
            return std::nullopt;
    }
}

std::optional<QByteArray> Instrument::handleGeneral(std::uint8_t command, const QByteArray& data) {
    switch (command) {
        case general::kEcho:
            return data;
        case general::kProgramInfo:
            return programInfo();
        case general::kReadMemory:
            return readPiece(data, false);
        case general::kReset:
            return reset(data);
        case general::kPcConnection:
        case general::kPcPrint:
            return screenText(command, data);
        case general::kBoardInfo:
            return boardInfo();
        case general::kReadParameter:
            return readParameter(data);
        case general::kWriteParameter:
            return writeParameter(data);
        default:
            return std::nullopt;
    }
}

std::optional<QByteArray> Instrument::handleExternalFlash(std::uint8_t command,
                                                          const QByteArray& data) {
    switch (command) {
        case flash::kRead:
            return readPiece(data, true);
        case flash::kWrite:
            return writeFlash(FlashTarget::External, data);
        case flash::kErase:
            return eraseFlash(FlashTarget::External, data);
        default:
            return std::nullopt;
    }
}

std::optional<QByteArray> Instrument::handleProcessorFlash(std::uint8_t command,
                                                           const QByteArray& data) {
    // Only the boot loader rewrites the processor flash, and only with the command variant that
    // the tool picks for the versions this program reports.
    if (mode_ != InstrumentMode::BootLoader && !config_.processorFlashInMainFirmware) {
        return std::nullopt;
    }
    const bool newVariant = expectsNewCpuFlashVariant();
    switch (command) {
        case flash::kWrite:
        case flash::kWriteNew:
            if ((command == flash::kWriteNew) != newVariant) {
                return std::nullopt;
            }
            return writeFlash(FlashTarget::Processor, data);
        case flash::kErase:
        case flash::kEraseNew:
            if ((command == flash::kEraseNew) != newVariant) {
                return std::nullopt;
            }
            return eraseFlash(FlashTarget::Processor, data);
        default:
            return std::nullopt;
    }
}

std::optional<QByteArray> Instrument::readPiece(const QByteArray& data, bool externalFlash) const {
    if (data.size() != 5) {
        return std::nullopt;
    }
    const std::uint32_t address = le32(data, 0);
    const int asked = std::uint8_t(data[4]);
    if (readSilentAbove_ >= 0 && asked > readSilentAbove_) {
        return std::nullopt;
    }
    const int count = readAnswerLimit_ >= 0 ? std::min(asked, readAnswerLimit_) : asked;
    const QByteArray bytes =
        externalFlash ? externalFlash_.read(address, count) : readMemory(address, count);
    return data + bytes;
}

std::optional<QByteArray> Instrument::writeFlash(FlashTarget target, const QByteArray& data) {
    if (data.size() < 5 || data.size() != 5 + std::uint8_t(data[4])) {
        return std::nullopt;
    }
    const std::uint32_t address = le32(data, 0);
    const QByteArray bytes = data.mid(5);
    FlashMemory& memory = target == FlashTarget::External ? externalFlash_ : processorFlash_;
    if (!memory.write(address, bytes)) {
        return data.left(4) + '\0';
    }
    noteProcessorFlashChange(target);
    flashOperations_.push_back({FlashOperation::Kind::Write, target, address, int(bytes.size())});
    return data.left(5);
}

std::optional<QByteArray> Instrument::eraseFlash(FlashTarget target, const QByteArray& data) {
    if (data.size() != 4) {
        return std::nullopt;
    }
    const std::uint32_t address = le32(data, 0);
    FlashMemory& memory = target == FlashTarget::External ? externalFlash_ : processorFlash_;
    if (!memory.eraseUnitAt(address)) {
        return std::nullopt;
    }
    noteProcessorFlashChange(target);
    flashOperations_.push_back({FlashOperation::Kind::Erase, target, address, 0});
    return data;
}

std::optional<QByteArray> Instrument::reset(const QByteArray& data) {
    if (data.isEmpty()) {
        return std::nullopt;
    }
    pendingRestart_ = (data[0] & 0x01) ? InstrumentMode::BootLoader : InstrumentMode::MainFirmware;
    return data;
}

std::optional<QByteArray> Instrument::readParameter(const QByteArray& data) const {
    if (mode_ != InstrumentMode::MainFirmware || data.size() != 2) {
        return std::nullopt;
    }
    const auto value = parameter(le16(data, 0));
    if (!value) {
        return std::nullopt;
    }
    QByteArray record = data + le32Bytes(std::uint32_t(*value));
    if (config_.longParameterRecords) {
        record.append(QByteArray(kLongParameterExtra, '\0'));
    }
    return record;
}

std::optional<QByteArray> Instrument::writeParameter(const QByteArray& data) {
    if (mode_ != InstrumentMode::MainFirmware || data.size() != 6) {
        return std::nullopt;
    }
    const std::uint16_t id = le16(data, 0);
    if (!parameter(id)) {
        return std::nullopt;
    }
    setParameter(id, std::int32_t(le32(data, 2)));
    return data;
}

std::optional<QByteArray> Instrument::boardInfo() const {
    if (config_.bootVersion < kFirstBoardInfoBoot) {
        return std::nullopt;
    }
    const int code =
        config_.boardCode >= 0 ? config_.boardCode : boardNumberForType(config_.boardType);
    return le16Bytes(std::uint16_t(code)) + char(config_.boardVariant) +
           char(config_.boardInfoByte3);
}

std::optional<QByteArray> Instrument::screenText(std::uint8_t command, const QByteArray& data) {
    const bool mainRunning = reportedMainVersion() != 0;
    const bool allowed = command == general::kPcConnection
                             ? mainRunning
                             : mainRunning || config_.bootVersion >= kFirstBootPcPrint;
    if (!allowed) {
        return std::nullopt;
    }
    screenTexts_.append(untilZero(data));
    return QByteArray();
}

std::optional<InstrumentMode> Instrument::takePendingRestart() {
    return std::exchange(pendingRestart_, std::nullopt);
}

void Instrument::noteProcessorFlashChange(FlashTarget target) {
    firmwareWritten_ = firmwareWritten_ || target == FlashTarget::Processor;
}

void Instrument::restart(InstrumentMode mode) {
    mode_ = mode;
    pendingRestart_.reset();
    if (mode != InstrumentMode::MainFirmware || !firmwareWritten_) {
        return;
    }
    // The boot loader starts only a firmware whose checksum word matches; a cut write leaves it
    // in charge.
    const MainFirmwareCheck firmware =
        checkMainFirmware(processorFlash_, layout_, config_.processorType);
    if (!firmware.whole) {
        mode_ = InstrumentMode::BootLoader;
    } else if (firmware.markedVersion && !config_.keepReportedVersion) {
        runningMainVersion_ = *firmware.markedVersion;
    }
}

QByteArray Instrument::programInfo() const {
    return programInfoBlock(config_.bootVersion, reportedMainVersion(),
                            layout_.platformDescriptionAddress);
}

std::uint16_t Instrument::reportedMainVersion() const {
    return mode_ == InstrumentMode::MainFirmware ? runningMainVersion_ : 0;
}

bool Instrument::expectsNewCpuFlashVariant() const {
    const std::uint16_t boot = config_.bootVersion;
    return reportedMainVersion() != 0 && boot >= 0x200 && (boot >> 8) != 0x05;
}

std::optional<std::uint8_t> Instrument::byteAt(std::uint32_t address) const {
    const auto inBlock = [address](std::uint32_t start, const QByteArray& block) {
        return address >= start && std::uint64_t(address) < std::uint64_t(start) + block.size();
    };
    const QByteArray info = programInfo();
    if (inBlock(kProgramInfoAddress, info)) {
        return std::uint8_t(info[address - kProgramInfoAddress]);
    }
    if (inBlock(layout_.platformDescriptionAddress, platformDescription_)) {
        return std::uint8_t(platformDescription_[address - layout_.platformDescriptionAddress]);
    }
    if (inBlock(layout_.boardRecordAddress, boardRecord_)) {
        return std::uint8_t(boardRecord_[address - layout_.boardRecordAddress]);
    }
    for (std::uint32_t uidAddress : layout_.uidAddresses) {
        if (inBlock(uidAddress, config_.uid)) {
            return std::uint8_t(config_.uid[address - uidAddress]);
        }
    }
    const QByteArray flashByte = processorFlash_.read(address, 1);
    if (!flashByte.isEmpty()) {
        return std::uint8_t(flashByte[0]);
    }
    return std::nullopt;
}

QByteArray Instrument::readMemory(std::uint32_t address, int count) const {
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        const auto byte = byteAt(address + std::uint32_t(i));
        if (!byte) {
            break;
        }
        bytes.append(char(*byte));
    }
    return bytes;
}

SettingsValues Instrument::settingsCopy(int copy) const {
    return settingsFromBytes(
        externalFlash_.read(kSettingsCopyAddress[copy == 0 ? 0 : 1], kSettingsBlockSize));
}

std::optional<std::int32_t> Instrument::parameter(std::uint16_t id) const {
    const auto it = parameters_.find(id);
    return it == parameters_.end() ? std::nullopt : std::optional<std::int32_t>(it->second);
}

void Instrument::setParameter(std::uint16_t id, std::int32_t value) {
    parameters_[id] = value;
}

QStringList Instrument::screenTexts() const {
    QStringList texts;
    for (const QByteArray& bytes : screenTexts_) {
        texts.append(decodeCp1251(bytes));
    }
    return texts;
}

int Instrument::requestCount(std::uint8_t group, std::uint8_t command) const {
    const auto it = requestsByCommand_.find(std::uint16_t(group << 8 | command));
    return it == requestsByCommand_.end() ? 0 : it->second;
}

std::int64_t Instrument::flashBytesWritten() const {
    return externalFlash_.writtenBytes() + processorFlash_.writtenBytes();
}

}  // namespace verimant::sim
