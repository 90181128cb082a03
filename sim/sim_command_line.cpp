#include "sim/sim_command_line.h"

#include <functional>

namespace verimant::sim {

namespace {

struct OptionEntry {
    const char* name;
    const char* valueName;  // nullptr for a switch
    const char* help;
};

const OptionEntry kOptions[] = {
    {"port", "n", "COM number of the link (default 7)."},
    {"ports-dir", "dir", "Folder of the COM<n> links (default: $VERIMANT_PORTS_DIR)."},
    {"serial", "digits", "Serial number, 8 digits or 1-23-45678 (default 12345678)."},
    {"board-type", "code", "Board type code of the board record (default 3)."},
    {"board-version", "n", "Board version (default 2)."},
    {"assembling", "a:b", "Assembling codes 1 and 2 (default 1:1)."},
    {"processor-type", "code", "Processor type code (default 3)."},
    {"uid", "hex", "Processor unique ID, 24 hex digits."},
    {"boot-version", "v", "Boot-loader version: 0x0410, 1040 or 4.16 (default 4.16)."},
    {"main-version", "v",
     "Main-firmware version, same forms (default 2.3); a written firmware's marker replaces it."},
    {"keep-main-version", nullptr,
     "Keep reporting --main-version whatever main firmware is written."},
    {"efl-version", "text", "External-flash version text (default V1.05; empty: none)."},
    {"language", "code", "Display language, parameter 6 and setting 6 (default 1)."},
    {"board-code", "n", "Board code of the board information (default: from the board type)."},
    {"board-variant", "n", "Byte 2 of the board information (default 45)."},
    {"board-info-byte3", "n", "Byte 3 of the board information (default 0)."},
    {"board-record-field", "addr", "Board-record address stored in the platform description."},
    {"main-start", "addr", "Main-firmware start address (default: after the boot loader)."},
    {"checksum-word", "addr", "Main-firmware checksum-word address."},
    {"settings", "state", "Settings sectors at start: valid, copy0-bad or erased (default valid)."},
    {"cpu-flash-in-main", nullptr,
     "Let the main firmware take processor-flash commands too (command-level tests)."},
    {"long-parameters", nullptr, "Answer parameter reads with 22-byte records."},
    {"parameter", "id=value", "A further parameter the firmware knows (repeatable)."},
    {"mode", "boot|main", "Mode at start (default main)."},
    {"paced", nullptr, "Answer no faster than a 230400-baud line."},
    {"drop-share", "x", "Share of answers never sent (0..1)."},
    {"corrupt-share", "x", "Share of answers sent with a damaged byte (0..1)."},
    {"late-ms", "n", "Every answer leaves n ms late."},
    {"silent-after", "n", "Answer nothing after n requests."},
    {"unplug-after-bytes", "n", "Pull the cable once n bytes were written into the flashes."},
    {"cut-after-request", "n",
     "Pull the cable after the n-th request (link tests not counted), before its answer."},
    {"unplug-return-ms", "n", "Come back n ms after that unplug (default: never)."},
    {"silent-erase-at", "address", "Neither carry out nor answer an erase at this address."},
    {"serial-after-restart", "digits",
     "After the next restart answer as another instrument with this serial number."},
    {"uid-after-restart", nullptr,
     "After the next restart answer with the same serial number and another processor UID."},
    {"stuck-byte-at", "address",
     "A flash byte that does not take a write, though the write is answered."},
    {"read-answer-limit", "n", "Answer a read with at most n bytes, whatever count it asks for."},
    {"read-silent-above", "n", "Leave a read that asks for more than n bytes unanswered."},
    {"lost-reset-answers", "n", "Carry out n RESETs but lose their answers."},
    {"reset-delay-ms", "n", "How long a RESET keeps the instrument away (default 1500)."},
    {"fault-seed", "n", "Seed of the random fault decisions (default 1)."},
    {"save-dir", "dir",
     "Save flashes, settings, parameters and screen texts here at exit and on "
     "SIGUSR1."},
    {"stats-file", "file",
     "Write the bytes received and sent on the line and the frames received here at exit."},
    {"background", nullptr,
     "Go on in the background and return once the port exists and is answered: prints the "
     "simulator's process id (for kill) and exits 0, or with the simulator's exit code when it "
     "could not start. A script's next line can use the port at once. Standard error stays "
     "open for the simulator's messages, so capture standard output only: sim=$(verimant-sim "
     "--background)."},
};

class OptionReader {
public:
    OptionReader(const QCommandLineParser& parser, QString* error)
        : parser_(parser), error_(error) {}

    bool ok() const { return ok_; }

    template <typename T>
    void number(const char* name, T& target) {
        read(name, [&](const QString& text) {
            bool good = false;
            const qlonglong value = text.toLongLong(&good, 0);
            target = T(value);
            return good;
        });
    }
    void real(const char* name, double& target) {
        read(name, [&](const QString& text) {
            bool good = false;
            target = text.toDouble(&good);
            return good && target >= 0.0 && target <= 1.0;
        });
    }
    void read(const char* name, const std::function<bool(const QString&)>& convert) {
        const QString key = QLatin1String(name);
        if (!ok_ || !parser_.isSet(key)) {
            return;
        }
        const QString value = parser_.value(key);
        if (!convert(value)) {
            fail(QStringLiteral("bad value for --%1: %2").arg(key, value));
        }
    }
    void fail(const QString& reason) {
        if (ok_ && error_) {
            *error_ = reason;
        }
        ok_ = false;
    }

private:
    const QCommandLineParser& parser_;
    QString* error_;
    bool ok_ = true;
};

bool readVersion(const QString& text, std::uint16_t& target) {
    const auto code = parseVersionCode(text);
    target = code.value_or(0);
    return code.has_value();
}

void readIdentity(OptionReader& reader, InstrumentConfig& config) {
    reader.read("serial", [&](const QString& text) {
        config.serial = text;
        return parseSerialDigits(text).has_value();
    });
    reader.number("board-type", config.boardType);
    reader.number("board-version", config.boardVersion);
    reader.read("assembling", [&](const QString& text) {
        const QStringList parts = text.split(QLatin1Char(':'));
        bool first = false;
        bool second = false;
        if (parts.size() == 2) {
            config.assembling1 = parts[0].toInt(&first, 0);
            config.assembling2 = parts[1].toInt(&second, 0);
        }
        return first && second;
    });
    reader.number("processor-type", config.processorType);
    reader.read("uid", [&](const QString& text) {
        config.uid = QByteArray::fromHex(text.toLatin1());
        return config.uid.size() == kUidSize;
    });
    reader.read("boot-version",
                [&](const QString& t) { return readVersion(t, config.bootVersion); });
    reader.read("main-version",
                [&](const QString& t) { return readVersion(t, config.mainVersion); });
    reader.read("efl-version", [&](const QString& text) {
        config.eflVersionText = text.toLatin1();
        return true;
    });
    reader.number("language", config.language);
    reader.number("board-code", config.boardCode);
    reader.number("board-variant", config.boardVariant);
    reader.number("board-info-byte3", config.boardInfoByte3);
    reader.number("board-record-field", config.boardRecordField);
    reader.number("main-start", config.mainFirmwareStart);
    reader.number("checksum-word", config.checksumWordAddress);
}

void readState(OptionReader& reader, const QCommandLineParser& parser, InstrumentConfig& config) {
    reader.read("settings", [&](const QString& text) {
        if (text == QLatin1String("valid")) {
            config.settingsStart = SettingsStart::Valid;
        } else if (text == QLatin1String("copy0-bad")) {
            config.settingsStart = SettingsStart::Copy0Bad;
        } else if (text == QLatin1String("erased")) {
            config.settingsStart = SettingsStart::Erased;
        } else {
            return false;
        }
        return true;
    });
    config.longParameterRecords = parser.isSet(QStringLiteral("long-parameters"));
    config.processorFlashInMainFirmware = parser.isSet(QStringLiteral("cpu-flash-in-main"));
    config.keepReportedVersion = parser.isSet(QStringLiteral("keep-main-version"));
    for (const QString& item : parser.values(QStringLiteral("parameter"))) {
        const QStringList parts = item.split(QLatin1Char('='));
        bool idOk = false;
        bool valueOk = false;
        const int id = parts.size() == 2 ? parts[0].toInt(&idOk, 0) : -1;
        const int value = parts.size() == 2 ? parts[1].toInt(&valueOk, 0) : 0;
        if (!idOk || !valueOk || id < 0 || id > 0xFFFF) {
            reader.fail(QStringLiteral("bad value for --parameter: ") + item);
            return;
        }
        config.parameters[std::uint16_t(id)] = value;
    }
    reader.read("mode", [&](const QString& text) {
        if (text != QLatin1String("boot") && text != QLatin1String("main")) {
            return false;
        }
        config.startMode = text == QLatin1String("boot") ? InstrumentMode::BootLoader
                                                         : InstrumentMode::MainFirmware;
        return true;
    });
}

void readHost(OptionReader& reader, const QCommandLineParser& parser, SimCommandLine& line) {
    PtyInstrumentOptions& options = line.options;
    reader.number("port", options.portNumber);
    if (parser.isSet(QStringLiteral("ports-dir"))) {
        options.portsDir = parser.value(QStringLiteral("ports-dir"));
    }
    options.paced = parser.isSet(QStringLiteral("paced"));
    reader.real("drop-share", options.faults.dropShare);
    reader.real("corrupt-share", options.faults.corruptShare);
    reader.number("late-ms", options.faults.lateMs);
    reader.number("silent-after", options.faults.silentAfter);
    reader.number("unplug-after-bytes", options.faults.unplugAfterBytes);
    reader.number("cut-after-request", options.faults.cutAfterRequest);
    reader.number("unplug-return-ms", options.faults.unplugReturnMs);
    reader.number("silent-erase-at", options.faults.silentEraseAt);
    reader.read("serial-after-restart", [&](const QString& text) {
        options.faults.serialAfterRestart = text;
        return parseSerialDigits(text).has_value();
    });
    options.faults.uidAfterRestart = parser.isSet(QStringLiteral("uid-after-restart"));
    reader.number("stuck-byte-at", options.faults.stuckByteAt);
    reader.number("read-answer-limit", options.faults.readAnswerLimit);
    reader.number("read-silent-above", options.faults.readSilentAbove);
    reader.number("lost-reset-answers", options.faults.lostResetAnswers);
    reader.number("reset-delay-ms", options.resetDelayMs);
    reader.number("fault-seed", options.faultSeed);
    line.saveDir = parser.value(QStringLiteral("save-dir"));
    line.statsFile = parser.value(QStringLiteral("stats-file"));
    line.background = parser.isSet(QStringLiteral("background"));
    if (reader.ok() && (options.portNumber < 1 || options.resetDelayMs < 0)) {
        reader.fail(
            QStringLiteral("the port number must be at least 1 and the delay not negative"));
    }
}

}  // namespace

std::optional<std::uint16_t> parseVersionCode(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    bool ok = false;
    if (parts.size() == 2) {
        bool minorOk = false;
        const uint major = parts[0].toUInt(&ok);
        const uint minor = parts[1].toUInt(&minorOk);
        if (!ok || !minorOk || major > 255 || minor > 255) {
            return std::nullopt;
        }
        return std::uint16_t(major << 8 | minor);
    }
    const uint value = text.toUInt(&ok, 0);
    if (!ok || value > 0xFFFF) {
        return std::nullopt;
    }
    return std::uint16_t(value);
}

void addSimOptions(QCommandLineParser& parser) {
    for (const OptionEntry& entry : kOptions) {
        QCommandLineOption option(QLatin1String(entry.name), QLatin1String(entry.help));
        if (entry.valueName) {
            option.setValueName(QLatin1String(entry.valueName));
        }
        parser.addOption(option);
    }
}

std::optional<SimCommandLine> readSimOptions(const QCommandLineParser& parser, QString* error) {
    SimCommandLine line;
    OptionReader reader(parser, error);
    readIdentity(reader, line.config);
    readState(reader, parser, line.config);
    readHost(reader, parser, line);
    if (!reader.ok()) {
        return std::nullopt;
    }
    return line;
}

}  // namespace verimant::sim
