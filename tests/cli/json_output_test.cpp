// verimant-cli --json as a script runs it: against a simulated instrument and a real FTP server
// serving the demo's update set, standard output parsed as one JSON document.

#include "sim/pty_instrument.h"
#include "tests/cli/cli_process.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/update_set_folder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <memory>

namespace verimant::test {
namespace {

class JsonOutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(set.copyDemoSet());
        ASSERT_TRUE(set.writeBase({"12345678;Verimant;278;2;1;1;1000;RU;0;0;0;0;0;0;0;0"}));
        QString problem;
        ASSERT_TRUE(server.start(&problem)) << problem;
        server.exportToEnvironment();
        sim::InstrumentConfig config;
        config.serial = "12345678";
        config.checksumWordAddress = 0x08004000 + 0x10000 - 4;
        sim::PtyInstrumentOptions options;
        options.portNumber = 7;
        options.resetDelayMs = 300;
        instrument = std::make_unique<sim::PtyInstrument>(config, options);
        ASSERT_TRUE(instrument->start(&problem)) << problem;
    }

    // The run's whole standard output as one document; anything else in it fails the test.
    static QJsonObject documentOf(const CliResult& result) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(result.out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString() << "\n"
                                                         << result.out << "\n"
                                                         << result.err;
        EXPECT_TRUE(document.isObject()) << result.out;
        EXPECT_EQ(document.object().value("exit_code").toInt(-1), result.exitCode) << result.out;
        return document.object();
    }

    UpdateSetFolder set{testRootDir() + "/server"};
    FtpTestServer server{set.root()};
    std::unique_ptr<sim::PtyInstrument> instrument;
};

// A value at a path of keys and array positions ("changes/0/part").
QJsonValue valueAt(const QJsonObject& document, const QString& path) {
    QJsonValue value = document;
    for (const QString& step : path.split('/')) {
        bool isIndex = false;
        const int index = step.toInt(&isIndex);
        value = isIndex ? value.toArray().at(index) : value.toObject().value(step);
    }
    return value;
}

struct JsonCase {
    QStringList arguments;
    int exitCode;
    // Path and the value expected there, as JSON text ("\"1.5\"", "278", "true").
    QList<std::pair<QString, QByteArray>> expected;
};

QByteArray jsonText(const QJsonValue& value) {
    return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
}

TEST_F(JsonOutputTest, EveryCommandPrintsOneDocumentAndFailuresCarryTheirError) {
    const QList<JsonCase> cases = {
        {{"ports"}, 0, {{"ports/0/port", "7"}, {"ports/0/accessible", "true"}}},
        {{"info", "--port", "7", "--model"},
         0,
         {{"port", "7"},
          {"serial", "\"1-23-45678\""},
          {"board", "\"TRV-278.2\""},
          {"kmt2", "\"2.3\""},
          {"efl", "\"1.5\""},
          {"model", "\"T23\""}}},
        {{"lookup", "1-23-45678"},
         0,
         {{"serial", "\"1-23-45678\""},
          {"board", "278"},
          {"board_version", "2"},
          {"language_set", "\"RU\""}}},
        {{"check", "--port", "7", "--packet", "EURO"},
         0,
         {{"serial", "\"1-23-45678\""},
          {"packet", "\"EURO\""},
          {"changes/0", R"({"from":"2.3","part":"KMT2","to":"3.2"})"},
          {"changes/1", R"({"from":"1.5","part":"EFL","to":"1.6"})"},
          {"up_to_date", "false"},
          {"packet_known", "false"}}},
        {{"settings", "get", "6", "--port", "7"}, 0, {{"index", "6"}, {"result", "\"done\""}}},
        {{"mode", "main", "--port", "7"}, 0, {{"result", "\"already_running\""}}},
        {{"info", "--port", "9"}, 1, {{"error", "\"There is no serial port COM 9\""}}},
        {{"lookup", "1-23-45679"}, 1, {{"serial", "\"1-23-45679\""}}},
        {{"lookup", "1-2345678"},
         2,
         {{"error", "\"'1-2345678' is no serial number: give it as 1-23-45678 or 12345678\""}}},
        {{"check", "--port", "7"}, 1, {{"serial", "\"1-23-45678\""}, {"packet_known", "false"}}},
        {{"check", "--port", "7", "--packet", "ASIA"},
         1,
         {{"packet", "\"ASIA\""}, {"packet_known", "false"}}},
        {{"--help"},
         0,
         {{"command", "null"},
          {"options/0/name", "\"--port\""},
          {"options/0/short_name", "null"},
          {"options/0/value_name", "\"N\""},
          {"options/1/short_name", "\"-y\""},
          {"options/1/value_name", "null"},
          {"commands/0/name", "\"ports\""},
          {"commands/0/usage", "\"ports\""},
          {"commands/2/usage", "\"mode boot|main --port N\""}}},
        {{"--yes=no", "info", "--port", "7"},
         2,
         {{"error", "\"--yes takes no value: give it as --yes, not '--yes=no'\""}}},
        {{"--port", "7"}, 2, {{"command", "null"}, {"error", "\"no command given\""}}},
        {{"write-efl", set.root() + "/verimant_efl_ru_en_1_6.bin", "--port", "7", "--verify"},
         0,
         {{"part", "\"EFL\""}, {"verify", "true"}, {"result", "\"written\""}}},
        {{"write-efl", "missing.bin", "--port", "7"},
         2,
         {{"error", "\"the file missing.bin does not exist\""}}},
    };
    for (const JsonCase& c : cases) {
        const CliResult result = runCli(c.arguments + QStringList{"--json"});
        const QString name = c.arguments.join(' ');
        EXPECT_EQ(result.exitCode, c.exitCode) << name << "\n" << result.err;
        const QJsonObject document = documentOf(result);
        if (!c.arguments[0].startsWith('-')) {
            EXPECT_EQ(document.value("command").toString(), c.arguments[0]) << name;
        }
        EXPECT_EQ(document.contains("error"), c.exitCode != 0) << name << "\n" << result.out;
        for (const auto& [path, expected] : c.expected) {
            EXPECT_EQ(jsonText(valueAt(document, path)), expected) << name << ": " << path;
        }
    }
}

// "--json=1" is no way to ask for a document, but whoever wrote it reads one: the usage error
// arrives as the document the other usage errors give, and the instrument is not touched.
TEST_F(JsonOutputTest, AValueGivenToJsonIsAUsageErrorThatStillPrintsItsDocument) {
    for (const QStringList& arguments :
         {QStringList{"info", "--port", "7", "--json=1"}, QStringList{"--json=1", "--help"}}) {
        const CliResult result = runCli(arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments.join(' ');
        EXPECT_EQ(documentOf(result).value("error").toString(),
                  "--json takes no value: give it as --json, not '--json=1'");
        EXPECT_TRUE(result.err.contains("--json takes no value")) << result.err;
        EXPECT_EQ(documentOf(result).value("command"),
                  arguments[0] == "info" ? QJsonValue("info") : QJsonValue(QJsonValue::Null));
    }
    EXPECT_EQ(instrument->framesReceived(), 0);

    // Every option of the text help is in the document.
    const QJsonArray options = documentOf(runCli({"--help", "--json"})).value("options").toArray();
    const QString text = runCli({"--help"}).out;
    EXPECT_GT(options.size(), 20);
    for (const QJsonValue& option : options) {
        EXPECT_TRUE(text.contains(" " + option.toObject().value("name").toString() + " "))
            << option.toObject().value("name").toString();
    }
}

// The log and the boxes still reach the operator, on standard error; the readout's UID is the
// twelve bytes the log shows.
TEST_F(JsonOutputTest, TheLogMovesToStandardErrorAndTheErrorNamesTheCause) {
    CliResult result = runCli({"info", "--port", "7", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.err.contains("S/N   : 1-23-45678")) << result.err;
    const QString uid = documentOf(result).value("uid").toString();
    EXPECT_TRUE(QRegularExpression("^([0-9A-F]{2}:){11}[0-9A-F]{2}$").match(uid).hasMatch()) << uid;
    EXPECT_TRUE(result.err.contains(uid)) << result.err;

    result = runCli({"check", "--port", "7", "--json"});
    EXPECT_TRUE(documentOf(result).value("error").toString().contains("several packets"))
        << result.out;
    EXPECT_TRUE(result.err.contains("Error: several packets")) << result.err;

    server.stop();
    result = runCli({"config", "--json"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(
        documentOf(result).value("error").toString().contains("could not fetch the "
                                                              "configuration"))
        << result.out;
}

TEST_F(JsonOutputTest, ConfigListsPacketsAndFirmwareFiles) {
    const CliResult result = runCli({"config", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const QJsonObject document = documentOf(result);
    EXPECT_FALSE(document.value("version_app").toString().isEmpty());
    QStringList packets;
    for (const QJsonValue& packet : document.value("packets").toArray()) {
        packets << packet.toObject().value("name").toString();
        EXPECT_FALSE(packet.toObject().value("languages").toArray().isEmpty()) << result.out;
    }
    EXPECT_TRUE(packets.contains("RU_EN") && packets.contains("EURO")) << packets.join(' ');
    bool found = false;
    for (const QJsonValue& setValue : document.value("firmware_sets").toArray()) {
        for (const QJsonValue& file : setValue.toObject().value("files").toArray()) {
            if (file.toObject().value("name") == "verimant_kmt2_3_2.hex") {
                found = true;
                EXPECT_EQ(file.toObject().value("version").toString(), "3.2");
            }
        }
    }
    EXPECT_TRUE(found) << result.out;
}

// Written, and the same upgrade refused by a packet the instrument is not offered.
TEST_F(JsonOutputTest, UpgradeSaysWhatItWroteOrWhyNot) {
    CliResult result = runCli({"upgrade", "--port", "7", "--packet", "ASIA", "--yes", "--json"});
    EXPECT_EQ(result.exitCode, 1);
    QJsonObject document = documentOf(result);
    EXPECT_EQ(document.value("result").toString(), "refused") << result.out;
    EXPECT_TRUE(document.value("error").toString().contains("'ASIA' is not offered")) << result.out;

    result = runCli(
        {"upgrade", "--port", "7", "--packet", "RU_EN", "--language", "RUS", "--yes", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    document = documentOf(result);
    EXPECT_EQ(document.value("result").toString(), "written");
    EXPECT_EQ(document.value("serial").toString(), "1-23-45678");
    EXPECT_EQ(document.value("packet").toString(), "RU_EN");
    EXPECT_EQ(document.value("language").toString(), "RUS");
    EXPECT_EQ(document.value("port").toInt(), 7);
    EXPECT_GT(document.value("seconds").toDouble(), 0.0);
    EXPECT_EQ(document.value("changes").toArray().size(), 2) << result.out;
}

}  // namespace
}  // namespace verimant::test
