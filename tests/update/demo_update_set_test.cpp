// The demo's update set in examples/update-server/: what scripts/make_update_set.py makes, and a
// set with which the simulator's default instrument runs a whole upgrade.
#include "base/activity_log.h"
#include "device/device_text_forms.h"
#include "sim/instrument_config.h"
#include "sim/memory_layout.h"
#include "sim/processor_types.h"
#include "tests/support/test_environment.h"
#include "update/firmware_set.h"
#include "update/serial_number_base.h"
#include "update/update_config.h"
#include "update/version_codes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <algorithm>

namespace verimant::test {
namespace {

const QString kSetFolder = QStringLiteral(VERIMANT_SOURCE_DIR "/examples/update-server");

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

TEST(DemoUpdateSet, IsWhatTheScriptMakes) {
    const QString made = testRootDir() + "/made";
    QProcess script;
    script.start("/usr/bin/python3",
                 {QStringLiteral(VERIMANT_SOURCE_DIR "/scripts/make_update_set.py"), made});
    ASSERT_TRUE(script.waitForFinished(60000));
    ASSERT_EQ(script.exitCode(), 0) << script.readAllStandardError().toStdString();
    const QStringList files = QDir(made).entryList(QDir::Files);
    EXPECT_EQ(QDir(kSetFolder).entryList(QDir::Files), files);
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(contentOf(kSetFolder + "/" + name), contentOf(made + "/" + name))
            << "run scripts/make_update_set.py and commit the result";
    }
}

TEST(DemoUpdateSet, OffersTheSimulatedInstrumentNewerFilesInEveryPacket) {
    const sim::InstrumentConfig instrument;
    UpdateConfig config;
    config.openConfig(kSetFolder + "/verimant_version_3.ini");
    config.loadLanguageCatalog();
    SerialNumberBase base;
    base.loadBase(kSetFolder + "/" + config.readString("SERIAL_NUMBER", "BASE_NAME"));

    InstrumentRecord record;
    ASSERT_TRUE(base.readRecord(base.findSerial(instrument.serial), record));
    const int boardNumber = sim::boardNumberForType(instrument.boardType);
    EXPECT_EQ(record.boardNumber, boardNumber);
    EXPECT_EQ(record.boardVersion, instrument.boardVersion);

    // The board record as the simulator answers it, read as the readout reads it.
    const QByteArray answered = sim::boardRecordBlock(instrument);
    BoardRecord board;
    std::copy_n(answered.constData(), BoardRecord::kSize, board.raw.begin());
    EXPECT_EQ(serialDigits(board), instrument.serial);
    const QString model = config.modelName(modelKey(board));
    EXPECT_FALSE(model.isEmpty());

    ActivityLog log;
    const LanguagePackets packets = config.packetsForLanguageSet(record.languageSet, log);
    ASSERT_GE(packets.packets.size(), 2);
    const std::uint16_t eflNow = parseFirmwareVersion(
        QString::fromLatin1(instrument.eflVersionText).remove(QLatin1Char('V')));
    for (const QString& packet : packets.packets) {
        SCOPED_TRACE(packet.toStdString());
        EXPECT_NE(config.readString("LANGUAGE:" + packet, "NAME_L1", "???"), "???");
        config.selectLanguagePacket(packet);
        for (const QString& language : config.languageCatalog().currentLanguages) {
            EXPECT_NE(config.languageCatalog().findLanguageByName(language), nullptr);
        }

        const QString set = softSetSection(boardNumber, instrument.boardVersion, model, packet);
        for (const char* part : {"KMT2", "EFL"}) {
            SCOPED_TRACE(part);
            const QString file = "FILE:" + config.readString(set, part);
            const std::uint16_t offered = parseFirmwareVersion(config.readString(file, "VERSION"));
            EXPECT_NE(offered, 0);
            EXPECT_NE(offered, QByteArray(part) == "KMT2" ? instrument.mainVersion : eflNow);
            const QString name = config.readString(file, "NAME");
            const qint64 size = QFileInfo(kSetFolder + "/" + name).size();
            EXPECT_GT(size, 0) << name.toStdString();
            EXPECT_EQ(config.readInteger(file, "LENGTH", 0), size);
        }
    }
}

}  // namespace
}  // namespace verimant::test
