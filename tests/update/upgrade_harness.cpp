#include "tests/update/upgrade_harness.h"

#include "base/file_helpers.h"
#include "platform/temp_folder.h"
#include "tests/support/test_environment.h"
#include "update/serial_number_base.h"
#include "update/server_settings.h"
#include "update/update_config.h"
#include "update/update_server.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>

namespace verimant::test {

namespace {

constexpr std::uint32_t kMainStart = 0x08004000;
constexpr std::uint32_t kRegionSize = 0x10000;

sim::InstrumentConfig withSmallFirmwareRegion(sim::InstrumentConfig config) {
    if (config.checksumWordAddress == 0) {
        config.checksumWordAddress = kMainStart + kRegionSize - 4;
    }
    return config;
}

}  // namespace

void ScriptedPacketChooser::OpenLanguagePacketDialog(const UpdateConfig&,
                                                     const QStringList& packets, int& slot) {
    ++opened;
    offered = packets;
    slot = kPacketChoicePending;
    const int chosen = packets.isEmpty() ? kPacketChoiceCancelled : answer;
    QTimer::singleShot(0, [&slot, chosen] { slot = chosen; });
}

void ScriptedLanguageChooser::OpenDeviceLanguageDialog(const LanguageCatalog* catalog,
                                                       int currentCode, int& slot) {
    slot = kDeviceLanguagePending;
    if (!hasLanguageChoice(catalog, currentCode)) {
        slot = kDeviceLanguageCancelled;
        return;
    }
    ++opened;
    const OfferedLanguages offered = offeredLanguages(*catalog, currentCode);
    offeredNames = offered.names;
    const int result =
        answerIndex < 0 ? kDeviceLanguageCancelled : languageChoiceResult(offered, answerIndex);
    QTimer::singleShot(0, [&slot, result] { slot = result; });
}

void RecordingBusyView::ShowBusy(int periodMs) {
    events.append({true, periodMs, log_.lines().size()});
    if (onShow) {
        onShow(int(std::count_if(events.begin(), events.end(),
                                 [](const Event& event) { return event.shown; })));
    }
}

void RecordingBusyView::HideBusy() {
    events.append({false, 0, log_.lines().size()});
}

UpgradeHarness::UpgradeHarness(sim::InstrumentConfig config)
    : device(withSmallFirmwareRegion(std::move(config))),
      set(testRootDir() + QStringLiteral("/server")),
      server(set.root()),
      manager_(device.protocol, device.flags, device.log) {
    EXPECT_TRUE(set.copyDemoSet());
    manager_.attachTimer(timer_);
}

UpgradeHarness::~UpgradeHarness() {
    timer_.stop();
}

bool UpgradeHarness::start() {
    QString problem;
    if (!server.start(&problem)) {
        ADD_FAILURE() << "FTP server: " << problem.toStdString();
        return false;
    }
    run = std::make_unique<UpdateRun>(device.log, *parseServerAddress(server.url()));
    const QString folder = testRootDir() + QStringLiteral("/tool");
    if (preparePrivateFolder(folder) != PrivateFolderStatus::Ready) {
        ADD_FAILURE() << "no private folder " << folder.toStdString();
        return false;
    }
    emptyFolder(folder);
    run->setTempFolder(folder);
    // What start-up fetches before the instrument is ever asked anything.
    if (!run->server().fetchFile(QString::fromLatin1(UpdateRun::kConfigName), run->configPath())) {
        ADD_FAILURE() << "the configuration was not fetched";
        return false;
    }
    run->openConfig();
    const QString baseName = run->config().readString(QString::fromLatin1(kSerialNumberSection),
                                                      QStringLiteral("BASE_NAME"));
    const QString basePath = run->localPathFor(baseName);
    if (!run->server().fetchFile(baseName, basePath)) {
        ADD_FAILURE() << "the base was not fetched";
        return false;
    }
    run->loadBase(basePath);
    run->config().loadLanguageCatalog();

    manager_.tick();  // from watching to scanning
    manager_.tick();  // the ports present at start-up: none
    timer_.start();
    return device.startInstrument() && manager_.waitForDevice(5000);
}

UpgradeParts UpgradeHarness::parts() {
    return UpgradeParts{device.session, settings, *run, packets, languages, busy, {}};
}

UpgradeOutcome UpgradeHarness::runWorkflow(UpgradeCheck* check) {
    UpgradeParts upgrade = parts();
    return runUpgradeWorkflow(upgrade, check);
}

sim::InstrumentMode UpgradeHarness::mode() {
    return device.withInstrument([](sim::Instrument& instrument) { return instrument.mode(); });
}

QStringList UpgradeHarness::fetchedFiles() const {
    return QDir(run->tempFolder()).entryList(QDir::Files, QDir::Name);
}

}  // namespace verimant::test
