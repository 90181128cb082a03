// The option table as the parser sees it: where options may stand, what counts as a value, and
// which mistakes are usage errors.

#include "cli/cli_options.h"
#include "tests/cli/cli_process.h"

#include <gtest/gtest.h>

namespace verimant::cli {
namespace {

struct ParsedCase {
    QStringList args;
    QString command;
    QStringList arguments;
    int port;
    bool assumeYes;
};

TEST(CliOptions, OptionsStandAnywhereAndNegativeNumbersStayValues) {
    const ParsedCase cases[] = {
        {{"--port=7", "-y", "info"}, "info", {}, 7, true},
        {{"settings", "set", "6", "-5", "--port", "3"}, "settings", {"set", "6", "-5"}, 3, false},
        {{"settings", "set", "--yes", "6", "-2147483648"},
         "settings",
         {"set", "6", "-2147483648"},
         -1,
         true},
        {{"write-efl", "-", "--port", "2"}, "write-efl", {"-"}, 2, false},
        // The highest number the port map gives (ttyACM54), so every listed port can be named.
        {{"info", "--port", "254"}, "info", {}, 254, false},
        {{"write-efl", "--port", "2", "--", "--odd-name.efl"},
         "write-efl",
         {"--odd-name.efl"},
         2,
         false},
    };
    for (const ParsedCase& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QString error;
        const auto options = parseCliOptions(c.args, error);
        ASSERT_TRUE(options.has_value()) << error;
        EXPECT_EQ(options->command, c.command);
        EXPECT_EQ(options->arguments, c.arguments);
        EXPECT_EQ(options->port, c.port);
        EXPECT_EQ(options->assumeYes, c.assumeYes);
        EXPECT_FALSE(options->help);
    }
}

TEST(CliOptions, MistakesAreNamedInTheError) {
    const std::pair<QStringList, QString> cases[] = {
        {{"info", "--colour"}, "unknown option '--colour'"},
        {{"info", "-x"}, "unknown option '-x'"},
        {{"info", "--port"}, "--port needs a value (--port N)"},
        {{"info", "--port", "-3"}, "--port needs a COM port number from 1 to 254, not '-3'"},
        {{"info", "--port=255"}, "--port needs a COM port number from 1 to 254, not '255'"},
        // Which of two values was meant is a guess; a repeated switch means the same twice.
        {{"info", "--port", "4", "--port", "9"}, "--port is given more than once"},
        {{"upgrade", "--language=RUS", "--language", "ENG"}, "--language is given more than once"},
    };
    for (const auto& [args, expected] : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        QString error;
        EXPECT_FALSE(parseCliOptions(args, error).has_value());
        EXPECT_EQ(error, expected);
    }
}

// A later command reads its own option from `given` without a field of its own; switches are
// present with an empty value.
TEST(CliOptions, EveryGivenOptionIsKeptByItsLongName) {
    QString error;
    const auto options = parseCliOptions({"-h", "-y", "--port", "12"}, error);
    ASSERT_TRUE(options.has_value()) << error;
    EXPECT_TRUE(options->help);
    EXPECT_TRUE(options->isSet("yes"));
    EXPECT_TRUE(options->value("yes").isEmpty());
    EXPECT_EQ(options->value("port"), "12");
    EXPECT_FALSE(options->isSet("nothing"));
}

}  // namespace
}  // namespace verimant::cli
