#include "device/update_efl.h"

#include "base/ui_language.h"
#include "device/write_cancel.h"
#include "tests/device/simulated_device.h"
#include "tests/device/update_writer_probe.h"

#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

namespace verimant {
namespace {

using sim::FlashOperation;
using sim::FlashTarget;
using sim::InstrumentMode;
using test::SimulatedDevice;

const QString kBanner = QStringLiteral("#######################################");

QStringList screenTexts(SimulatedDevice& device) {
    return device.instrument().withInstrument(
        [](sim::Instrument& instrument) { return instrument.screenTexts(); });
}

int totalRequests(SimulatedDevice& device) {
    return device.instrument().withInstrument(
        [](sim::Instrument& instrument) { return instrument.requestCount(); });
}

// Every sector written is erased once, before its first write; writes follow each other.
void expectSectorsErasedAhead(const std::vector<FlashOperation>& operations, qsizetype size,
                              const QList<int>& expectedSectors) {
    QList<int> erased;
    std::uint32_t next = 0;
    for (const FlashOperation& op : operations) {
        ASSERT_EQ(op.target, FlashTarget::External);
        if (op.kind == FlashOperation::Kind::Erase) {
            erased.append(int(op.address / 4096));
            continue;
        }
        EXPECT_EQ(op.address, next);
        EXPECT_TRUE(erased.contains(int(op.address / 4096)));
        EXPECT_TRUE(erased.contains(int((op.address + op.length - 1) / 4096)));
        next += std::uint32_t(op.length);
    }
    EXPECT_EQ(qsizetype(next), size);
    EXPECT_EQ(erased, expectedSectors);
}

TEST(UpdateEfl, CopiesTheFileAndShowsItsProgressOnTheInstrument) {
    SimulatedDevice device;
    ASSERT_TRUE(device.start());
    test::LinkCheckProbe probe(device.flags, device.instrument());
    const QByteArray data = test::patternBytes(0x10000, 11);
    const QString path = test::writeTestFile("efl_data.bin", data);

    ASSERT_TRUE(Update_EFL(device.session, path));

    EXPECT_TRUE(device.externalFlash(0, int(data.size())) == data);
    const auto operations = test::flashOperations(device.instrument());
    QList<int> sectors;
    for (int s = 0; s <= 16; ++s) {
        sectors.append(s);  // the last chunk ends on a boundary: sector 16 is erased ahead
    }
    expectSectorsErasedAhead(operations, data.size(), sectors);
    EXPECT_TRUE(device.dialogs.boxes.isEmpty());

    const QStringList screen = screenTexts(device);
    const QStringList opening = {"COM 7",
                                 "COM 7",
                                 "{X0|Y0|Cg|RF240:320}",
                                 "{F02|Bg|CW|AL|T0}",
                                 "{Y5|AS|*}PC CONNECTED",
                                 "{Y25|AS|*}COM-7",
                                 "{Y300|X0|Bg|CW|F01|AL}",
                                 "efl_data.bin",
                                 "{Y60|X67|CB|RF106:16|x3|y3|Cb|RF100:10}"};
    ASSERT_GE(screen.size(), opening.size() + 4);
    EXPECT_EQ(screen.mid(0, opening.size()), opening);
    const QStringList progress = screen.mid(opening.size(), screen.size() - opening.size() - 2);
    ASSERT_EQ(progress.size() % 2, 0);
    for (qsizetype i = 0; i < progress.size(); i += 2) {
        EXPECT_TRUE(QRegularExpression("^\\{X70\\|Y63\\|CY\\|RF[1-9][0-9]*:10\\}$")
                        .match(progress[i])
                        .hasMatch())
            << progress[i].toStdString();
        EXPECT_EQ(progress[i + 1].size(), 18);
        EXPECT_TRUE(progress[i + 1].startsWith("{Y83|CC|F02|AS|*}"));
        EXPECT_TRUE(QStringLiteral("|/-\\").contains(progress[i + 1].back()));
    }
    EXPECT_EQ(progress.mid(progress.size() - 2, 1), QStringList{"{X70|Y63|CY|RF100:10}"});
    EXPECT_EQ(screen.mid(screen.size() - 2),
              QStringList({"#{X0|Y280|Cg|Bg|RF240:20|F02}", "{Y280|CY|T0|AS|*}END OF WRITE"}));

    const QStringList lines = device.logLines();
    ASSERT_EQ(lines.size(), 11);
    EXPECT_EQ(lines[0], QStringLiteral("==>Update_EFL"));
    EXPECT_EQ(lines[1], QStringLiteral("==>Device_Is_Booter_Or_KMT2"));
    EXPECT_EQ(lines.mid(4), QStringList({kBanner, "# Обновление EFL", "# Запись файла в EXT FLASH",
                                         "# FileName: [efl_data.bin]",
                                         "# Writing: 100% 64KB [>>>>>>>>>>>>>>>>>>>>>>>>>]",
                                         "# Повторов:0", kBanner}));
    EXPECT_EQ(device.dialogs.statusTexts.first(),
              PickText("Прошивка", "Firmware") + QStringLiteral(" EFL [efl_data.bin]"));
    EXPECT_EQ(device.dialogs.statusTexts.last(), QString());
    EXPECT_EQ(device.dialogs.progress.first(), 0);
    EXPECT_EQ(device.dialogs.progress.last(), 100);

    EXPECT_TRUE(device.flags.linkCheckEnabled);
    EXPECT_GT(probe.samplesBefore(operations.size()), 0);
    EXPECT_EQ(probe.enabledSamplesBefore(operations.size()), 0);
}

TEST(UpdateEfl, SendsNothingWithoutAFileOrInTheBootLoader) {
    sim::InstrumentConfig config;
    config.startMode = InstrumentMode::BootLoader;
    SimulatedDevice device(config);
    ASSERT_TRUE(device.start());
    const QString path = test::writeTestFile("efl_data.bin", test::patternBytes(300, 1));

    EXPECT_FALSE(Update_EFL(device.session, QString()));
    EXPECT_EQ(totalRequests(device), 0);
    EXPECT_FALSE(Update_EFL(device.session, path));
    EXPECT_EQ(
        device.logLines(),
        QStringList({"==>Update_EFL", "Обновление EFL не выполнено - нет файла: ERC[0]",
                     "==>Update_EFL", "==>Device_Is_Booter_Or_KMT2", "BOOT  : 4.16", "KMT2  : 0.0",
                     "Обновление EFL не выполнено - режим загрузчика: "
                     "ERC[0]"}));
    EXPECT_EQ(totalRequests(device), 1) << "only the mode query";
    EXPECT_TRUE(screenTexts(device).isEmpty());
    EXPECT_TRUE(device.flags.linkCheckEnabled);
}

TEST(UpdateEfl, AFileLargerThanTheExternalFlashIsRefusedBeforeAnythingIsSent) {
    SimulatedDevice device;
    ASSERT_TRUE(device.start());
    const QString path = test::writeTestFile("too_big.bin", QByteArray(kMaxEflFileSize + 1, 'x'));

    EXPECT_FALSE(Update_EFL(device.session, path));
    EXPECT_EQ(device.logLines().last(),
              QStringLiteral("Обновление EFL не выполнено - файл больше 8 МБ: 8388609: ERC[0]"));
    EXPECT_EQ(device.dialogs.textsOf("error").size(), 1);
    EXPECT_EQ(totalRequests(device), 1) << "only the mode query";
    EXPECT_TRUE(screenTexts(device).isEmpty());
}

TEST(UpdateEfl, LostAnswersAreResentAndTheFlashStillMatches) {
    sim::PtyInstrumentOptions options = SimulatedDevice::quickOptions();
    options.faultSeed = 6;  // loses the answer to one write
    SimulatedDevice device({}, options);
    ASSERT_TRUE(device.start());
    sim::SimFaults faults;
    faults.dropShare = 0.02;
    device.instrument().setFaults(faults);
    const QByteArray data = test::patternBytes(0x4000 + 100, 12);

    ASSERT_TRUE(Update_EFL(device.session, test::writeTestFile("efl_data.bin", data)));
    EXPECT_TRUE(device.externalFlash(0, int(data.size())) == data);
    const auto refused = device.instrument().withInstrument(
        [](sim::Instrument& instrument) { return instrument.externalFlash().refusedWrites(); });
    EXPECT_FALSE(refused.empty()) << "a lost write answer, its refused repeat, a read-back";
    EXPECT_TRUE(device.dialogs.boxes.isEmpty());
    EXPECT_TRUE(device.logLines().contains("# Повторов:0"));
}

TEST(UpdateEfl, AWriteFailingTwiceIsLoggedWithItsAddressAndLength) {
    SimulatedDevice device;
    ASSERT_TRUE(device.start());
    ASSERT_TRUE(device.commands.readPlatformDescription(nullptr, true));
    ASSERT_GT(device.commands.boardCode(), 0);
    // Mode query, two connection texts, seven screen texts, the erase of sector 0, chunks 0 to 31,
    // the erase of sector 1 and chunk 32: the write of chunk 33 at 0x1080 gets no answer.
    sim::SimFaults faults;
    faults.silentAfter = 45;
    device.instrument().setFaults(faults);
    const QByteArray data = test::patternBytes(0x2000, 13);

    EXPECT_FALSE(Update_EFL(device.session, test::writeTestFile("efl_data.bin", data)));
    const QStringList lines = device.logLines();
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines.mid(lines.size() - 4),
              QStringList({"# ОШИБКА ЗАПИСИ: A=0x001080 L=128",
                           "Обновление EFL не выполнено - ошибка записи: ERC[0]", "# Повторов:1",
                           kBanner}));
    EXPECT_EQ(device.dialogs.textsOf("error"),
              QStringList({"No answer in EFLASH Write", "No answer in EFLASH Write"}));
    EXPECT_TRUE(device.externalFlash(0, 0x1080) == data.left(0x1080));
    EXPECT_EQ(device.externalFlash(0x1080, 128), QByteArray(128, char(0xFF)));
    EXPECT_FALSE(screenTexts(device).contains("{Y280|CY|T0|AS|*}END OF WRITE"));
    EXPECT_EQ(device.dialogs.statusTexts.last(), QString());
    EXPECT_TRUE(device.flags.linkCheckEnabled);
}

TEST(UpdateEfl, AnInstrumentPulledMidWriteFailsAndARerunAfterReplugCompletes) {
    SimulatedDevice device;
    ASSERT_TRUE(device.start());
    sim::SimFaults faults;
    faults.unplugAfterBytes = 20000;
    device.instrument().setFaults(faults);
    const QByteArray data = test::patternBytes(0xC000 + 50, 14);
    const QString path = test::writeTestFile("efl_data.bin", data);

    EXPECT_FALSE(Update_EFL(device.session, path));
    EXPECT_TRUE(device.flags.linkCheckEnabled);
    EXPECT_TRUE(device.logLines().contains("Обновление EFL не выполнено - ошибка записи: ERC[0]"));
    EXPECT_EQ(device.dialogs.statusTexts.last(), QString());

    device.instrument().setFaults({});
    device.instrument().replug();
    ASSERT_TRUE(device.instrument().waitForAppearance(2, 5000));
    device.protocol.close();
    ASSERT_TRUE(device.protocol.open(SimulatedDevice::kBaudRate));

    ASSERT_TRUE(Update_EFL(device.session, path));
    EXPECT_TRUE(device.externalFlash(0, int(data.size())) == data);
}

TEST(UpdateEfl, ACancelledWriteStopsAfterItsChunkWithoutTheClosingScreen) {
    SimulatedDevice device;
    ASSERT_TRUE(device.start());
    QTimer canceller;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        if (test::flashOperations(device.instrument()).size() > 40) {
            requestWriteCancel();
        }
    });
    canceller.start(1);
    const QByteArray data = test::patternBytes(0x10000, 15);

    EXPECT_FALSE(Update_EFL(device.session, test::writeTestFile("efl_data.bin", data)));
    canceller.stop();
    const QStringList lines = device.logLines();
    const auto match = QRegularExpression("^# ОТМЕНЕНО\\. Записано до: A=0x([0-9A-F]{6}) L=128$")
                           .match(lines.value(lines.size() - 3));
    ASSERT_TRUE(match.hasMatch()) << lines.value(lines.size() - 3).toStdString();
    const int last = match.captured(1).toInt(nullptr, 16);
    EXPECT_TRUE(device.externalFlash(0, last + 128) == data.left(last + 128));
    EXPECT_EQ(device.externalFlash(last + 128, 128), QByteArray(128, char(0xFF)));
    EXPECT_FALSE(screenTexts(device).contains("{Y280|CY|T0|AS|*}END OF WRITE"));
    EXPECT_TRUE(device.flags.linkCheckEnabled);

    // The next write starts afresh.
    ASSERT_TRUE(Update_EFL(device.session, test::writeTestFile("efl_data.bin", data)));
    EXPECT_TRUE(device.externalFlash(0, int(data.size())) == data);
}

}  // namespace
}  // namespace verimant
