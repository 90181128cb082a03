#include "cli/cli_command.h"
#include "cli/cli_commands.h"
#include "cli/cli_run.h"
#include "cli/server_files.h"
#include "cli/terminal_text.h"

#include "update/serial_number_base.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>

namespace verimant::cli {

namespace {

// "1-23-45678" as the window shows it, or its eight digits; the digits, or empty text.
QString serialDigitsOf(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^(?:([0-9A-Fa-f])-([0-9A-Fa-f]{2})-([0-9A-Fa-f]{5})|([0-9A-Fa-f]{8}))$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch()) {
        return {};
    }
    const QString digits = match.hasCaptured(4)
                               ? match.captured(4)
                               : match.captured(1) + match.captured(2) + match.captured(3);
    return digits.toUpper();
}

QString serialTextOf(const QString& digits) {
    return digits.left(1) + u'-' + digits.mid(1, 2) + u'-' + digits.mid(3);
}

void printLine(CliRun& run, const QString& line) {
    std::fprintf(run.out(), "%s\n", terminalText(line).constData());
}

QStringList packetsOfSet(const UpdateConfig& config, const QString& languageSet) {
    for (const auto& [name, setPackets] : config.languageSets()) {
        if (name == languageSet) {
            return setPackets;
        }
    }
    return {};
}

QJsonObject recordJson(const QString& digits, int block, const InstrumentRecord& record,
                       const QStringList& packets) {
    QJsonArray extra;
    for (const std::int32_t value : record.extra) {
        extra.append(value);
    }
    return {{QStringLiteral("serial"), serialTextOf(digits)},
            {QStringLiteral("block"), block},
            {QStringLiteral("board"), record.boardNumber},
            {QStringLiteral("board_version"), record.boardVersion},
            {QStringLiteral("assembling"), QJsonArray{record.assembling1, record.assembling2}},
            {QStringLiteral("number"), record.number},
            {QStringLiteral("language_set"), record.languageSet},
            {QStringLiteral("packets"), QJsonArray::fromStringList(packets)},
            {QStringLiteral("extra"), extra}};
}

void printRecord(CliRun& run, const QString& digits, int block, const InstrumentRecord& record,
                 const UpdateConfig& config) {
    QStringList extra;
    for (const std::int32_t value : record.extra) {
        extra.append(QString::number(value));
    }
    const QStringList packets = packetsOfSet(config, record.languageSet);
    run.json().setAll(recordJson(digits, block, record, packets));
    printLine(
        run, QStringLiteral("Serial         : %1 (block %2)").arg(serialTextOf(digits)).arg(block));
    printLine(run, QStringLiteral("Board          : TRV-%1.%2")
                       .arg(record.boardNumber)
                       .arg(record.boardVersion));
    printLine(
        run,
        QStringLiteral("Assembling     : (%1:%2)").arg(record.assembling1).arg(record.assembling2));
    printLine(run, QStringLiteral("Number         : %1").arg(record.number));
    printLine(run, QStringLiteral("Language set   : %1").arg(record.languageSet));
    printLine(run, QStringLiteral("Packets        : %1")
                       .arg(packets.isEmpty() ? QStringLiteral("(none in the configuration)")
                                              : packets.join(QStringLiteral(", "))));
    printLine(run, QStringLiteral("Fields 8 to 15 : ") + extra.join(u' '));
}

}  // namespace

QString checkLookupArguments(const QStringList& arguments) {
    if (serialDigitsOf(arguments.value(0)).isEmpty()) {
        return QStringLiteral("'%1' is no serial number: give it as 1-23-45678 or 12345678")
            .arg(arguments.value(0));
    }
    return {};
}

int runLookupCommand(CliRun& run, const QStringList& arguments) {
    const QString digits = serialDigitsOf(arguments.value(0));
    run.json().set(QStringLiteral("serial"), serialTextOf(digits));
    ServerFiles files(run);
    UpdateConfig config;
    if (!files.fetchConfig(config)) {
        return kExitFailure;
    }
    const QString baseName =
        config.readString(QString::fromLatin1(kSerialNumberSection), QStringLiteral("BASE_NAME"));
    if (baseName.isEmpty()) {
        run.dialogs().showError(
            QStringLiteral("the configuration names no serial-number base (BASE_NAME)"));
        return kExitFailure;
    }
    const QString basePath = files.fetch(baseName, QStringLiteral("serial-number base"));
    if (basePath.isEmpty()) {
        return kExitFailure;
    }
    if (!config.baseMatches(baseName, basePath, run.log())) {
        run.dialogs().showError(
            QStringLiteral("the serial-number base '%1' is not the one the configuration names")
                .arg(baseName));
        return kExitFailure;
    }
    SerialNumberBase base;
    base.loadBase(basePath);
    const int block = base.findSerial(digits);
    if (block == 0) {
        run.dialogs().showError(QStringLiteral("no record for %1 in the serial-number base '%2' "
                                               "(%3 records)")
                                    .arg(serialTextOf(digits), baseName)
                                    .arg(base.recordCount()));
        return kExitFailure;
    }
    InstrumentRecord record;
    if (!base.readRecord(block, record)) {
        run.dialogs().showError(
            QStringLiteral("the record of %1 in block %2 has fewer than 16 fields")
                .arg(serialTextOf(digits))
                .arg(block));
        return kExitFailure;
    }
    printRecord(run, digits, block, record, config);
    return kExitSuccess;
}

}  // namespace verimant::cli
