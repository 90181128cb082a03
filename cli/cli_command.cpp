#include "cli/cli_command.h"

#include "cli/cli_commands.h"
#include "cli/firmware_file_check.h"
#include "cli/firmware_write_commands.h"
#include "cli/upgrade_commands.h"

#include <QHash>

#include <vector>

namespace verimant::cli {

namespace {

// The options each command uses, besides commonOptionNames().
struct CommandOptions {
    const char* command;
    std::vector<const char*> options;
};

const QHash<QString, QStringList>& optionsByCommand() {
    static const QHash<QString, QStringList> table = [] {
        const CommandOptions rows[] = {
            {"ports", {}},
            {"info", {"port", "model", "source", "require-signature", "allow-older-set"}},
            {"mode", {"port"}},
            {"settings", {"port"}},
            {"write-kmt2", {"port", "verify", "no-verify", "write-all", "require-signature"}},
            {"write-efl", {"port", "verify", "no-verify", "write-all", "require-signature"}},
            // fetch and mirror take --source only to refuse it with their own reason.
            {"fetch", {"source"}},
            {"config", {"source", "require-signature", "allow-older-set"}},
            {"lookup", {"source", "require-signature", "allow-older-set"}},
            {"mirror", {"source", "require-signature", "allow-older-set"}},
            {"reports", {"send"}},
            {"keygen", {}},
            {"sign-config", {"key", "hash-from"}},
            {"verify-config", {"key"}},
            {"policy", {"require-signature"}},
            {"upgrade",
             {"port", "all", "packet", "language", "source", "verify", "no-verify", "write-all",
              "require-signature", "allow-older-set", "allow-downgrade", "reinstall"}},
            {"history", {"serial", "since", "csv"}},
            {"check",
             {"port", "packet", "language", "source", "require-signature", "allow-older-set"}},
        };
        QHash<QString, QStringList> byName;
        for (const CommandOptions& row : rows) {
            QStringList& names = byName[QLatin1String(row.command)];
            for (const char* option : row.options) {
                names << QLatin1String(option);
            }
        }
        return byName;
    }();
    return table;
}

QList<CliCommand> withOptions(QList<CliCommand> commands) {
    for (CliCommand& command : commands) {
        command.options = optionsByCommand().value(command.name);
    }
    return commands;
}

}  // namespace

const QStringList& commonOptionNames() {
    static const QStringList names{QStringLiteral("help"), QStringLiteral("json"),
                                   QStringLiteral("yes")};
    return names;
}

const QList<CliCommand>& cliCommands() {
    static const QList<CliCommand> commands = withOptions({
        {QStringLiteral("ports"), QString(), QStringLiteral("list the serial ports by COM number"),
         0, 0, false, &runPortsCommand},
        {QStringLiteral("info"), QString(),
         QStringLiteral("read and log what the instrument reports about itself"), 0, 0, true,
         &runInfoCommand},
        {QStringLiteral("mode"), QStringLiteral("boot|main"),
         QStringLiteral("restart the instrument into its boot loader or main firmware"), 1, 1, true,
         &runModeCommand, &checkModeArguments},
        {QStringLiteral("settings"), QStringLiteral("get INDEX | set INDEX VALUE"),
         QStringLiteral(
             "read or store one value of the settings block (0 to 63); like the upgrade, "
             "this first repairs a bad copy"),
         2, 3, true, &runSettingsCommand, &checkSettingsArguments},
        {QStringLiteral("write-kmt2"), QStringLiteral("FILE"),
         QStringLiteral("service command: write the main firmware of a record file (via the "
                        "boot loader) and read it back (--no-verify: not); the signature policy "
                        "covers update sets, not this file"),
         1, 1, true, &runWriteKmt2Command, &checkWriteKmt2Arguments},
        {QStringLiteral("write-efl"), QStringLiteral("FILE"),
         QStringLiteral("service command: write a data image into the external flash and read it "
                        "back (--no-verify: not); the signature policy covers update sets, not "
                        "this file"),
         1, 1, true, &runWriteEflCommand, &checkWriteEflArguments},
        {QStringLiteral("fetch"), QStringLiteral("NAME [LOCAL]"),
         QStringLiteral("fetch one file from the update server (VERIMANT_UPDATE_SERVER), to "
                        "check its settings"),
         1, 2, false, &runFetchCommand, &checkFetchArguments},
        {QStringLiteral("config"), QString(),
         QStringLiteral("list what the update server's configuration offers: tool version, "
                        "languages, packets, firmware sets"),
         0, 0, false, &runConfigCommand},
        {QStringLiteral("lookup"), QStringLiteral("SERIAL"),
         QStringLiteral("show the serial-number base's record of 1-23-45678 (or 12345678)"), 1, 1,
         false, &runLookupCommand, &checkLookupArguments},
        {QStringLiteral("mirror"), QStringLiteral("DIR"),
         QStringLiteral("copy the update server's configuration, base and firmware files into "
                        "DIR, checked and signature-judged, switched whole, for --source DIR and "
                        "the window's Local source; a rerun fetches only what changed"),
         1, 1, false, &runMirrorCommand},
        {QStringLiteral("reports"), QString(),
         QStringLiteral("list the reports waiting in the outbox for the update server; with "
                        "--send, send them first, oldest first"),
         0, 0, false, &runReportsCommand},
        {QStringLiteral("keygen"), QStringLiteral("NAME"),
         QStringLiteral("make a signing key pair: NAME.key (secret, mode 0600) and NAME.pub"), 1, 1,
         false, &runKeygenCommand},
        {QStringLiteral("sign-config"), QStringLiteral("FILE"),
         QStringLiteral("sign a configuration with --key NAME.key, once it gives every file its "
                        "hash (--hash-from DIR fills them); writes FILE.sig"),
         1, 1, false, &runSignConfigCommand},
        {QStringLiteral("verify-config"), QStringLiteral("FILE"),
         QStringLiteral("check FILE.sig: name the key that signed (against the trusted keys "
                        "and --key NAME.pub) and whether this machine trusts it"),
         1, 1, false, &runVerifyConfigCommand},
        {QStringLiteral("policy"), QString(),
         QStringLiteral("show the signature policy in force and where each value comes from: "
                        "the policy file's line, the built-in default or --require-signature"),
         0, 0, false, &runPolicyCommand},
        {QStringLiteral("upgrade"), QString(),
         QStringLiteral("bring the instrument up to date from the update server, as the "
                        "window's upgrade button does (--packet, --language, --yes), every "
                        "write read back unless --no-verify"),
         0, 0, true, &runUpgradeCommand},
        {QStringLiteral("history"), QString(),
         QStringLiteral("list the recorded upgrades and writes of this user, newest first "
                        "(--serial, --since, --json or --csv)"),
         0, 0, false, &runHistoryCommand},
        {QStringLiteral("check"), QString(),
         QStringLiteral("show what an upgrade would change (--packet); writes nothing"), 0, 0, true,
         &runCheckCommand},
    });
    return commands;
}

}  // namespace verimant::cli
