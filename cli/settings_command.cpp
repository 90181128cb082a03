#include "cli/cli_command.h"
#include "cli/cli_commands.h"
#include "cli/cli_run.h"

#include "link/settings_block.h"

#include <optional>

namespace verimant::cli {

namespace {

std::optional<int> parseIndex(const QString& text) {
    bool ok = false;
    const int index = text.toInt(&ok, 10);
    if (!ok || index < 0 || index >= SettingsBlock::kValueCount) {
        return std::nullopt;
    }
    return index;
}

// Every failed copy read or write was counted; the values are then not to be trusted.
int reportFailures(CliRun& run, const SettingsBlock& block) {
    if (block.settingsFailureCount() == 0) {
        return kExitSuccess;
    }
    run.dialogs().showError(
        QStringLiteral("%1 settings block transfer(s) failed").arg(block.settingsFailureCount()));
    return kExitFailure;
}

int getSetting(CliRun& run, int index) {
    SettingsBlock block;
    block.load(run.session().commands);
    const int result = reportFailures(run, block);
    if (result == kExitSuccess) {
        run.json().set(QStringLiteral("value"), block.get(index));
        std::fprintf(run.out(), "setting %d = %d\n", index, block.get(index));
    }
    return result;
}

// An answered write only says the instrument took the request: a worn sector can answer and not
// hold the bytes, and the instrument would then fall back to the other copy or to its defaults.
int checkStored(CliRun& run, const SettingsBlock& stored) {
    SettingsBlock readBack;
    for (int copy = 0; copy < 2; ++copy) {
        if (!readBack.readCopy(run.session().commands, copy) ||
            readBack.values() != stored.values()) {
            run.dialogs().showError(
                QStringLiteral("settings copy %1 at 0x%2 does not read back as it was stored")
                    .arg(copy)
                    .arg(QString::number(SettingsBlock::kCopyAddress[copy], 16).toUpper()));
            return kExitFailure;
        }
    }
    return kExitSuccess;
}

int setSetting(CliRun& run, int index, std::int32_t value) {
    SettingsBlock block;
    block.load(run.session().commands);
    // A block that could not be read would be stored back as whatever the failed read left.
    if (reportFailures(run, block) != kExitSuccess) {
        return kExitFailure;
    }
    block.set(run.session().commands, index, value);
    int result = reportFailures(run, block);
    if (result == kExitSuccess) {
        result = checkStored(run, block);
    }
    if (result == kExitSuccess) {
        run.json().set(QStringLiteral("value"), block.get(index));
        std::fprintf(run.out(), "setting %d = %d\n", index, block.get(index));
    }
    return result;
}

}  // namespace

QString checkSettingsArguments(const QStringList& arguments) {
    const QString action = arguments.value(0);
    const bool get = action == QLatin1String("get") && arguments.size() == 2;
    const bool set = action == QLatin1String("set") && arguments.size() == 3;
    if (!get && !set) {
        return QStringLiteral("usage: settings get INDEX | settings set INDEX VALUE");
    }
    if (!parseIndex(arguments[1])) {
        return QStringLiteral("a setting index is 0 to %1, not '%2'")
            .arg(SettingsBlock::kValueCount - 1)
            .arg(arguments[1]);
    }
    bool ok = true;
    if (set) {
        arguments[2].toInt(&ok, 10);
    }
    return ok ? QString()
              : QStringLiteral("a setting value is a 32-bit integer, not '%1'").arg(arguments[2]);
}

int runSettingsCommand(CliRun& run, const QStringList& arguments) {
    const int index = *parseIndex(arguments[1]);
    run.json().set(QStringLiteral("action"), arguments[0]);
    run.json().set(QStringLiteral("index"), index);
    const int result = arguments[0] == QLatin1String("get")
                           ? getSetting(run, index)
                           : setSetting(run, index, arguments[2].toInt());
    run.json().set(QStringLiteral("result"), result == kExitSuccess ? "done" : "failed");
    return result;
}

}  // namespace verimant::cli
