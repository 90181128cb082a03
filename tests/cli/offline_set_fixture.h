#pragma once

#include "sim/pty_instrument.h"
#include "tests/cli/cli_process.h"
#include "tests/support/update_set_folder.h"

#include <QDir>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace verimant::test {

// The demo set in a folder of its own, with the simulator's instrument as the base's only record,
// and no update server reachable: any attempt to reach one fails the run.
class OfflineSetTest : public ::testing::Test {
protected:
    static constexpr std::uint32_t kMainStart = 0x08004000;
    static constexpr std::uint32_t kChecksumAddress = kMainStart + 0x10000 - 4;

    explicit OfflineSetTest(const QString& folderName) : set(testRootDir() + "/" + folderName) {}

    void SetUp() override {
        QDir(set.root()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(set.root()));
        ASSERT_TRUE(set.copyDemoSet());
        ASSERT_TRUE(set.writeBase({"12345678;Verimant;278;2;1;1;1000;RU;0;0;0;0;0;0;0;0"}));
        qputenv("VERIMANT_UPDATE_SERVER", "ftp://u:p@127.0.0.1:1");
        qunsetenv("VERIMANT_UPDATE_SOURCE");
    }

    // An instrument whose main firmware has `mainVersion` (the simulator's own by default).
    sim::PtyInstrument& plugIn(std::optional<std::uint16_t> mainVersion = std::nullopt) {
        sim::InstrumentConfig config;
        config.mainVersion = mainVersion.value_or(config.mainVersion);
        config.serial = QStringLiteral("12345678");
        config.checksumWordAddress = kChecksumAddress;
        sim::PtyInstrumentOptions options;
        options.portNumber = 7;
        options.resetDelayMs = 300;
        instrument = std::make_unique<sim::PtyInstrument>(config, options);
        QString error;
        EXPECT_TRUE(instrument->start(&error)) << error;
        return *instrument;
    }

    CliResult upgrade(const QStringList& extra = {}) {
        return runCli(QStringList{"upgrade", "--source", set.root(), "--port", "7", "--packet",
                                  "RU_EN", "--language", "RUS", "--yes"} +
                      extra);
    }

    UpdateSetFolder set;
    std::unique_ptr<sim::PtyInstrument> instrument;
};

}  // namespace verimant::test
