#include "tests/update/upgrade_harness.h"

#include "base/file_helpers.h"
#include "device/firmware_record_file.h"
#include "device/flash_image.h"
#include "platform/cp1251.h"
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
constexpr int kFlashSize = 256 * 1024;  // processor type 3

sim::InstrumentConfig withSmallFirmwareRegion(sim::InstrumentConfig config) {
    if (config.checksumWordAddress == 0) {
        config.checksumWordAddress = kMainStart + kRegionSize - 4;
    }
    return config;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
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

UpdateSetFolder::UpdateSetFolder(QString root) : root_(std::move(root)) {
    QDir().mkpath(root_);
}

QString UpdateSetFolder::demoFolder() {
    return QStringLiteral(VERIMANT_SOURCE_DIR "/examples/update-server");
}

bool UpdateSetFolder::copyDemoSet() {
    const QDir demo(demoFolder());
    const QStringList names = demo.entryList(QDir::Files);
    for (const QString& name : names) {
        QFile::remove(root_ + QLatin1Char('/') + name);
        if (!QFile::copy(demo.filePath(name), root_ + QLatin1Char('/') + name)) {
            return false;
        }
    }
    return !names.isEmpty();
}

QByteArray UpdateSetFolder::file(const QString& name) const {
    QFile file(root_ + QLatin1Char('/') + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool UpdateSetFolder::editConfig(const QString& from, const QString& to) {
    const QString name = QString::fromLatin1(UpdateRun::kConfigName);
    QString text = decodeCp1251(file(name));
    if (!text.contains(from)) {
        ADD_FAILURE() << "the configuration has no " << from.toStdString();
        return false;
    }
    text.replace(from, to);
    return writeFile(root_ + QLatin1Char('/') + name, encodeCp1251(text));
}

bool UpdateSetFolder::writeBase(const QList<QByteArray>& records) {
    QByteArray bytes(SerialNumberBase::kFirstRecordBlock * SerialNumberBase::kBlockSize, '\0');
    for (const QByteArray& record : records) {
        QByteArray block = record + "\r\n";
        block.append(QByteArray(SerialNumberBase::kBlockSize - block.size(), '\0'));
        bytes.append(block);
    }
    return writeFile(root_ + QStringLiteral("/verimant_sn_base.bin"), bytes);
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
    run->server().setDeviceInfo(&run->deviceInfo());

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

QByteArray sealedFirmwareRegion(const QByteArray& recordFile, std::uint32_t mainStart,
                                std::uint32_t checksumAddress) {
    QByteArray image = makeFlashImage(3, kFlashSize);
    auto* bytes = reinterpret_cast<std::uint8_t*>(image.data());
    if (!buildImageFromRecords(recordFile, {bytes, size_t(image.size())}).ok) {
        ADD_FAILURE() << "the record file does not build an image";
        return {};
    }
    const auto region = firmwareRegion(image.size(), kFlashImageBase, mainStart, checksumAddress);
    if (!region || !sealFirmwareImage(image, *region, 0xFF)) {
        ADD_FAILURE() << "the firmware does not seal";
        return {};
    }
    return image.mid(region->start, region->length());
}

}  // namespace verimant::test
