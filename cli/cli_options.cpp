#include "cli/cli_options.h"

#include "platform/port_map.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace verimant::cli {

namespace {

QString storePort(CliOptions& options, const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < 1 || value > kHighestPortNumber) {
        return QStringLiteral("--port needs a COM port number from 1 to %1, not '%2'")
            .arg(kHighestPortNumber)
            .arg(text);
    }
    options.port = value;
    return {};
}

QString storeYes(CliOptions& options, const QString&) {
    options.assumeYes = true;
    return {};
}

QString checkSource(CliOptions&, const QString& text) {
    if (text.isEmpty()) {
        return QStringLiteral("--source needs a folder (--source DIR)");
    }
    return {};
}

QString storeHelp(CliOptions& options, const QString&) {
    options.help = true;
    return {};
}

QString dashed(const QString& name) {
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// A negative number ("settings set 6 -5") is a value, but the parser would take it for a bundle
// of short options. It stands in for the number while parsing and is swapped back afterwards.
class NegativeNumbers {
public:
    QStringList hide(const QStringList& args) {
        static const QRegularExpression number(QStringLiteral("^-[0-9]"));
        QStringList hidden;
        for (const QString& arg : args) {
            if (number.match(arg).hasMatch()) {
                hidden << placeholder(int(numbers_.size()));
                numbers_ << arg;
            } else {
                hidden << arg;
            }
        }
        return hidden;
    }

    QString restore(const QString& text) const {
        for (int i = 0; i < numbers_.size(); ++i) {
            if (text == placeholder(i)) {
                return numbers_[i];
            }
        }
        return text;
    }

private:
    // No real argument starts with a control character.
    static QString placeholder(int index) { return QStringLiteral("\x01negative-%1").arg(index); }

    QStringList numbers_;
};

// "--json=1": a value given to an option that takes none. The parser's own text does not say
// that the option is a switch.
QString valueGivenToSwitch(const QStringList& args) {
    for (const QString& arg : args) {
        const qsizetype assign = arg.indexOf(QLatin1Char('='));
        if (!arg.startsWith(QStringLiteral("--")) || assign < 0) {
            continue;
        }
        const QString name = arg.mid(2, assign - 2);
        for (const CliOptionSpec& entry : cliOptionTable()) {
            if (entry.name == name && entry.valueName.isEmpty()) {
                return QStringLiteral("--%1 takes no value: give it as --%1, not '%2'")
                    .arg(name, arg);
            }
        }
    }
    return {};
}

QString describeParseError(const QCommandLineParser& parser, const QStringList& args) {
    if (!parser.unknownOptionNames().isEmpty()) {
        return QStringLiteral("unknown option '%1'").arg(dashed(parser.unknownOptionNames()[0]));
    }
    const QString switchValue = valueGivenToSwitch(args);
    if (!switchValue.isEmpty()) {
        return switchValue;
    }
    // The parser takes the next argument as a value whatever it is, so a value is only missing
    // after a value option that ends the line.
    for (const CliOptionSpec& entry : cliOptionTable()) {
        if (!entry.valueName.isEmpty() && !args.isEmpty() &&
            (args.last() == dashed(entry.name) ||
             (!entry.shortName.isEmpty() && args.last() == dashed(entry.shortName)))) {
            return QStringLiteral("%1 needs a value (%1 %2)")
                .arg(dashed(entry.name), entry.valueName);
        }
    }
    return parser.errorText();
}

QCommandLineOption toParserOption(const CliOptionSpec& entry) {
    QStringList names{entry.name};
    if (!entry.shortName.isEmpty()) {
        names << entry.shortName;
    }
    return QCommandLineOption(names, entry.description, entry.valueName);
}

// A value option holds one value; given twice, which one was meant is a guess.
QString repeatedValueOption(const QCommandLineParser& parser) {
    for (const CliOptionSpec& entry : cliOptionTable()) {
        if (!entry.valueName.isEmpty() && parser.values(entry.name).size() > 1) {
            return QStringLiteral("--%1 is given more than once").arg(entry.name);
        }
    }
    return {};
}

// Stores every option given, in table order; stops at the first bad value.
QString storeOptions(const QCommandLineParser& parser, const NegativeNumbers& numbers,
                     CliOptions& options) {
    for (const CliOptionSpec& entry : cliOptionTable()) {
        if (!parser.isSet(entry.name)) {
            continue;
        }
        const QString value =
            entry.valueName.isEmpty() ? QString() : numbers.restore(parser.value(entry.name));
        options.given.insert(entry.name, value);
        if (entry.store != nullptr) {
            const QString problem = entry.store(options, value);
            if (!problem.isEmpty()) {
                return problem;
            }
        }
    }
    return {};
}

}  // namespace

const QList<CliOptionSpec>& cliOptionTable() {
    static const QList<CliOptionSpec> table = {
        {QStringLiteral("port"), QString(), QStringLiteral("N"),
         QStringLiteral("the instrument's COM port number (1 to 254); 'ports' lists them"),
         &storePort},
        {QStringLiteral("yes"), QStringLiteral("y"), QString(),
         QStringLiteral("answer Yes to every question instead of asking on the terminal; for "
                        "upgrade that consents to an update only: an instrument that already has "
                        "the set's versions is left as it is (--reinstall writes it)"),
         &storeYes},
        {QStringLiteral("packet"), QString(), QStringLiteral("NAME"),
         QStringLiteral("upgrade, check: the language packet, one the configuration offers for "
                        "the instrument")},
        {QStringLiteral("language"), QString(), QStringLiteral("KEY|CODE"),
         QStringLiteral("upgrade: the instrument's display language afterwards, a catalogue key "
                        "or code of the packet")},
        {QStringLiteral("help"), QStringLiteral("h"), QString(), QStringLiteral("this text"),
         &storeHelp},
        {QStringLiteral("model"), QString(), QString(),
         QStringLiteral("info: name the instrument's model from the update server's "
                        "configuration")},
        {QStringLiteral("source"), QString(), QStringLiteral("DIR"),
         QStringLiteral("config, lookup, check, upgrade, info --model: read every file from DIR, "
                        "a folder laid out like the update server ('mirror' fills it), and keep "
                        "the report there; the server is not contacted"),
         &checkSource},
        {QStringLiteral("verify"), QString(), QString(),
         QStringLiteral("write-efl, write-kmt2, upgrade: read back every byte written and "
                        "compare it with the file; a difference fails the write (the default)")},
        {QStringLiteral("no-verify"), QString(), QString(),
         QStringLiteral("write-efl, write-kmt2, upgrade: leave out the read-back, so a byte that "
                        "did not take the write goes unnoticed")},
        {QStringLiteral("write-all"), QString(), QString(),
         QStringLiteral("write-kmt2, write-efl, upgrade: send every chunk, also those that only "
                        "repeat the erased flash")},
        {QStringLiteral("require-signature"), QString(), QString(),
         QStringLiteral("refuse an update configuration without a valid signature by a trusted "
                        "key, as RequireSignedConfiguration=true in the machine's policy does")},
        {QStringLiteral("allow-older-set"), QString(), QString(),
         QStringLiteral("accept, for this command, a signed configuration older than one the same "
                        "key signed that was accepted before")},
        {QStringLiteral("allow-downgrade"), QString(), QString(),
         QStringLiteral("upgrade: consent to writing a set older than the instrument's firmware; "
                        "--yes does not")},
        {QStringLiteral("reinstall"), QString(), QString(),
         QStringLiteral(
             "upgrade: write the set also into an instrument that already has its "
             "versions, without asking; --yes alone leaves such an instrument as it is")},
        {QStringLiteral("send"), QString(), QString(),
         QStringLiteral("reports: send the waiting reports to the update server")},
        {QStringLiteral("key"), QString(), QStringLiteral("FILE"),
         QStringLiteral("sign-config: the secret key file that 'keygen' wrote; verify-config: "
                        "the maker's key (NAME.pub), to name it when this machine does not "
                        "trust it")},
        {QStringLiteral("hash-from"), QString(), QStringLiteral("DIR"),
         QStringLiteral("sign-config: first give each file and the base its SHA256 from the "
                        "files in DIR, a folder laid out like the update server, and write the "
                        "configuration back")},
        {QStringLiteral("all"), QString(), QString(),
         QStringLiteral("upgrade: every instrument that answers on a port, all at once, one "
                        "process each; instead of --port")},
        {QStringLiteral("serial"), QString(), QStringLiteral("S"),
         QStringLiteral("history: only the runs of the instrument with this serial number")},
        {QStringLiteral("since"), QString(), QStringLiteral("DATE"),
         QStringLiteral("history: only the runs started on or after DATE (2026-12-08 or "
                        "2026-12-08T14:30)")},
        {QStringLiteral("csv"), QString(), QString(),
         QStringLiteral("history: print the rows as CSV with a header line")},
        {QStringLiteral("json"), QString(), QString(),
         QStringLiteral("print one JSON document on standard output; the log, questions and "
                        "progress go to standard error")},
    };
    return table;
}

std::optional<CliOptions> parseCliOptions(const QStringList& args, QString& error) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    for (const CliOptionSpec& entry : cliOptionTable()) {
        parser.addOption(toParserOption(entry));
    }
    NegativeNumbers numbers;
    const QStringList hidden = numbers.hide(args);
    // QCommandLineParser skips the first argument as the program's name.
    if (!parser.parse(QStringList{QStringLiteral("verimant-cli")} + hidden)) {
        error = describeParseError(parser, hidden);
        return std::nullopt;
    }
    error = repeatedValueOption(parser);
    if (!error.isEmpty()) {
        return std::nullopt;
    }
    CliOptions options;
    error = storeOptions(parser, numbers, options);
    if (!error.isEmpty()) {
        return std::nullopt;
    }
    QStringList positional = parser.positionalArguments();
    for (QString& argument : positional) {
        argument = numbers.restore(argument);
    }
    if (!positional.isEmpty()) {
        options.command = positional.takeFirst();
    }
    options.arguments = positional;
    return options;
}

}  // namespace verimant::cli
