#include "device/update_efl.h"

#include "base/ui_language.h"
#include "device/write_cancel.h"
#include "tests/device/simulated_device.h"

#include <QRegularExpression>
#include <QTimer>

#include <string_view>

#include <gtest/gtest.h>

namespace verimant {
namespace {

using sim::FlashOperation;
using sim::InstrumentMode;
using test::SimulatedDevice;

const QString kBanner = QStringLiteral("#######################################");
const QString kEndOfWrite = QStringLiteral("{Y280|CY|T0|AS|*}END OF WRITE");

int totalRequests(SimulatedDevice& device) {
    return device.withInstrument(
        [](sim::Instrument& instrument) { return instrument.requestCount(); });
}

TEST(UpdateEfl, CopiesTheFileErasingAheadAndShowsItsProgressOnTheInstrument) {
    SimulatedDevice device;
    ASSERT_TRUE(device.start());
    test::LinkCheckProbe probe(device);
    QByteArray data = test::patternBytes(0x10000, 11);
    data[0x1012] = 5;  // the version text lies in sector 5
    data[0x1013] = 0;

    // The described log and progress; the read-back's own lines follow them by default.
    ASSERT_TRUE(
        Update_EFL(device.session, test::writeTestFile("efl_data.bin", data), {.verify = false}));

    EXPECT_TRUE(device.externalFlash(0, int(data.size())) == data);
    EXPECT_TRUE(device.dialogs.boxes.isEmpty());
    // The sectors that make the version readable (the directory's and the text's) are erased
    // first and written last; every other sector is erased before its first write. The last chunk
    // ends on a boundary, and sector 16, which receives nothing, is left alone.
    const auto operations = device.flashOperations();
    QList<int> erased;
    QList<std::pair<std::uint32_t, std::uint32_t>> written;  // contiguous runs of writes
    for (const FlashOperation& op : operations) {
        ASSERT_EQ(op.target, sim::FlashTarget::External);
        if (op.kind == FlashOperation::Kind::Erase) {
            erased.append(int(op.address / 4096));
            continue;
        }
        EXPECT_TRUE(erased.contains(int((op.address + op.length - 1) / 4096))) << op.address;
        if (!written.isEmpty() && written.last().first + written.last().second == op.address) {
            written.last().second += std::uint32_t(op.length);
        } else {
            written.append({op.address, std::uint32_t(op.length)});
        }
    }
    EXPECT_EQ(written, (QList<std::pair<std::uint32_t, std::uint32_t>>{
                           {0, 4096}, {8192, 12288}, {24576, 40960}, {4096, 4096}, {20480, 4096}}));
    EXPECT_EQ(erased, (QList<int>{1, 5, 0, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));

    const QStringList screen = device.screenTexts();
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
    const QRegularExpression bar("^\\{X70\\|Y63\\|CY\\|RF[1-9][0-9]*:10\\}$");
    const QRegularExpression spinner("^\\{Y83\\|CC\\|F02\\|AS\\|\\*\\}[|/\\\\-]$");
    for (qsizetype i = 0; i < progress.size(); i += 2) {
        EXPECT_TRUE(bar.match(progress[i]).hasMatch()) << progress[i].toStdString();
        EXPECT_TRUE(spinner.match(progress[i + 1]).hasMatch()) << progress[i + 1].toStdString();
    }
    EXPECT_EQ(progress.value(progress.size() - 2), "{X70|Y63|CY|RF100:10}");
    EXPECT_EQ(screen.mid(screen.size() - 2),
              QStringList({"#{X0|Y280|Cg|Bg|RF240:20|F02}", kEndOfWrite}));

    EXPECT_EQ(
        device.logLines(),
        QStringList({"==>Update_EFL", "==>Device_Is_Booter_Or_KMT2", "BOOT  : 4.16", "KMT2  : 2.3",
                     kBanner, "# Обновление EFL", "# Запись файла в EXT FLASH",
                     "# FileName: [efl_data.bin]",
                     "# Writing: 100% 64KB [>>>>>>>>>>>>>>>>>>>>>>>>>]", "# Повторов:0", kBanner}));
    EXPECT_EQ(device.dialogs.statusTexts.first(),
              PickText("Прошивка", "Firmware") + QStringLiteral(" EFL [efl_data.bin]"));
    EXPECT_EQ(device.dialogs.statusTexts.last(), QString());
    EXPECT_EQ(device.dialogs.progress.first(), 0);
    EXPECT_EQ(device.dialogs.progress.last(), 100);

    EXPECT_TRUE(device.flags.linkCheckEnabled);
    EXPECT_GT(probe.samplesBefore(operations.size()), 0);
    EXPECT_EQ(probe.samplesBefore(operations.size(), true), 0)
        << "the link test must stay off while the flash is written";
}

TEST(UpdateEfl, RefusalsSendNothingBeyondTheModeQuery) {
    struct Case {
        const char* what;
        InstrumentMode mode;
        QByteArray file;
        QString reason;
        int requests;
        int errorBoxes;
    };
    const InstrumentMode main = InstrumentMode::MainFirmware;
    const Case cases[] = {
        {"no file", main, {}, "нет файла", 0, 0},
        {"boot loader", InstrumentMode::BootLoader, "data", "режим загрузчика", 1, 0},
        {"one byte into the settings sectors", main, QByteArray(0x7FE000 + 1, 'x'),
         "файл заходит в область установок: 8380417", 1, 1},
        {"empty file", main, QByteArray(), "файл пуст", 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::InstrumentConfig config;
        config.startMode = c.mode;
        SimulatedDevice device(config);
        ASSERT_TRUE(device.start());
        const QString path = std::string_view(c.what) == "no file"
                                 ? QString()
                                 : test::writeTestFile("efl.bin", c.file);

        EXPECT_FALSE(Update_EFL(device.session, path));
        EXPECT_EQ(device.log.lastLine(),
                  QStringLiteral("Обновление EFL не выполнено - ") + c.reason + ": ERC[0]");
        EXPECT_EQ(totalRequests(device), c.requests);
        EXPECT_EQ(device.dialogs.textsOf("error").size(), c.errorBoxes);
        EXPECT_TRUE(device.screenTexts().isEmpty());
        EXPECT_TRUE(device.flags.linkCheckEnabled);
    }
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
    EXPECT_FALSE(device
                     .withInstrument([](sim::Instrument& instrument) {
                         return instrument.externalFlash().refusedWrites();
                     })
                     .empty())
        << "a lost write answer, its refused repeat, a read-back";
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
    device.silence(45);
    const QByteArray data = test::patternBytes(0x2000, 13);

    EXPECT_FALSE(Update_EFL(device.session, test::writeTestFile("efl_data.bin", data)));
    const QStringList lines = device.logLines();
    EXPECT_EQ(lines.mid(lines.size() - 4),
              QStringList({"# ОШИБКА ЗАПИСИ: A=0x001080 L=128",
                           "Обновление EFL не выполнено - ошибка записи: ERC[0]", "# Повторов:1",
                           kBanner}));
    EXPECT_EQ(device.dialogs.textsOf("error"),
              QStringList({"No answer in EFLASH Write", "No answer in EFLASH Write"}));
    EXPECT_TRUE(device.externalFlash(0, 0x1080) == data.left(0x1080));
    EXPECT_EQ(device.externalFlash(0x1080, 128), QByteArray(128, char(0xFF)));
    EXPECT_FALSE(device.screenTexts().contains(kEndOfWrite));
    EXPECT_EQ(device.dialogs.statusTexts.last(), QString());
    EXPECT_TRUE(device.flags.linkCheckEnabled);
}

TEST(UpdateEfl, ACancelledWriteStopsAfterItsChunkAndTheNextWriteStartsAfresh) {
    SimulatedDevice device;
    ASSERT_TRUE(device.start());
    QTimer canceller;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        if (device.flashOperations().size() > 40) {
            requestWriteCancel();
        }
    });
    canceller.start(1);
    QByteArray data = test::patternBytes(0x10000, 15);
    data[0x1012] = 1;  // the version text lies in the directory's own sector
    data[0x1013] = 0;

    EXPECT_FALSE(Update_EFL(device.session, test::writeTestFile("efl_data.bin", data)));
    canceller.stop();
    const QStringList lines = device.logLines();
    const auto match = QRegularExpression("^# ОТМЕНЕНО\\. Записано до: A=0x([0-9A-F]{6}) L=128$")
                           .match(lines.value(lines.size() - 3));
    ASSERT_TRUE(match.hasMatch()) << lines.value(lines.size() - 3).toStdString();
    const int last = match.captured(1).toInt(nullptr, 16);
    ASSERT_GE(last, 0x2000) << "the stop came after the version sector was passed over";
    // Everything up to the stop is written but the version sector, which stays erased until the
    // write's end: the instrument reports no version meanwhile.
    QByteArray expected = data.left(last + 128);
    expected.replace(0x1000, 0x1000, QByteArray(0x1000, char(0xFF)));
    EXPECT_TRUE(device.externalFlash(0, last + 128) == expected);
    EXPECT_EQ(device.externalFlash(last + 128, 128), QByteArray(128, char(0xFF)));
    EXPECT_FALSE(device.screenTexts().contains(kEndOfWrite));
    EXPECT_TRUE(device.flags.linkCheckEnabled);

    ASSERT_TRUE(Update_EFL(device.session, test::writeTestFile("efl_data.bin", data)));
    EXPECT_TRUE(device.externalFlash(0, int(data.size())) == data);
}

}  // namespace
}  // namespace verimant
