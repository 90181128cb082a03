#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>

namespace verimant::sim {

enum class InstrumentMode { BootLoader, MainFirmware };

QString modeName(InstrumentMode mode);

// What the settings sectors of the external flash hold when the instrument starts.
enum class SettingsStart {
    Valid,     // both copies valid, with the factory values and the configured language
    Copy0Bad,  // copy 0 damaged, copy 1 valid
    Erased,    // both sectors erased
};

// The identity and starting state of one simulated instrument. Zero addresses are derived from the
// processor type (see MemoryLayout).
struct InstrumentConfig {
    // Eight digits "12345678" or the dashed form "1-23-45678"; characters 0-9 and A-F.
    QString serial = QStringLiteral("12345678");
    int boardType = 3;
    int boardVersion = 2;
    int assembling1 = 1;
    int assembling2 = 1;
    int processorType = 3;
    QByteArray uid = QByteArray::fromHex("0102030405060708090A0B0C");
    std::uint16_t bootVersion = 0x0410;
    // The version the main firmware reports while it runs; the boot loader reports 0. Once a main
    // firmware has been written, the version its marker names takes over (see
    // main_firmware_check.h).
    std::uint16_t mainVersion = 0x0203;
    // Keeps reporting mainVersion whatever was written: a boot loader that took a new firmware and
    // still starts the old one.
    bool keepReportedVersion = false;
    QByteArray eflVersionText = "V1.05";
    std::int32_t language = 1;

    // Board information (answered only by boot loaders from 0x400 on). A negative code means the
    // board number of boardType.
    int boardCode = -1;
    int boardVariant = 45;
    int boardInfoByte3 = 0;

    InstrumentMode startMode = InstrumentMode::MainFirmware;
    SettingsStart settingsStart = SettingsStart::Valid;
    // For command-level tests of the tool: the main firmware takes the processor-flash commands as
    // well (with the variant its versions call for). The real main firmware ignores them.
    bool processorFlashInMainFirmware = false;
    // Parameter records answered with 22 bytes instead of 6.
    bool longParameterRecords = false;
    // Parameters the main firmware knows besides LANGUAGE (id 6, from `language`).
    std::map<std::uint16_t, std::int32_t> parameters;

    // The value stored in the platform description's board-record field (0: derived). For processor
    // type 1 the value 0x8002780 is read by the tool as 0x80027F0, and the record lies there.
    std::uint32_t boardRecordField = 0;
    std::uint32_t mainFirmwareStart = 0;
    std::uint32_t checksumWordAddress = 0;
};

// The eight serial digits as nibble values; nothing when the text is not eight digits.
std::optional<QByteArray> parseSerialDigits(const QString& serial);

inline constexpr std::uint16_t kLanguageParameterId = 6;
inline constexpr int kLanguageSettingIndex = 6;

}  // namespace verimant::sim
