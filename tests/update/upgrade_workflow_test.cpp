#include "update/upgrade_workflow.h"
#include "base/ui_language.h"
#include "tests/update/upgrade_harness.h"

#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace verimant {
namespace {

using sim::InstrumentMode;
using test::UpgradeHarness;

constexpr std::uint32_t kMainStart = 0x08004000;
constexpr std::uint32_t kChecksumAddress = kMainStart + 0x10000 - 4;
const char kFirmwareFile[] = "verimant_kmt2_3_2.hex";
const char kDataFile[] = "verimant_efl_ru_en_1_6.bin";
const QByteArray kOwnRecord = "12345678;Verimant;278;2;1;1;1000;RU;0;0;0;0;0;0;0;0";

// `expected` appears in `lines` in this order, other lines allowed between.
::testing::AssertionResult containsInOrder(const QStringList& lines, const QStringList& expected) {
    qsizetype at = 0;
    for (const QString& line : expected) {
        at = lines.indexOf(line, at);
        if (at < 0) {
            return ::testing::AssertionFailure()
                   << "missing in order: " << line.toStdString() << "\nlog:\n"
                   << lines.join('\n').toStdString();
        }
        ++at;
    }
    return ::testing::AssertionSuccess();
}

QByteArray processorFlash(UpgradeHarness& harness, std::uint32_t address, int count) {
    return harness.device.withInstrument([&](sim::Instrument& instrument) {
        return instrument.processorFlash().read(address, count);
    });
}

std::int32_t languageParameter(UpgradeHarness& harness) {
    return harness.device.withInstrument(
        [](sim::Instrument& instrument) { return instrument.parameter(6).value_or(-1); });
}

void expectBothFilesWritten(UpgradeHarness& harness) {
    const QByteArray data = harness.set.file(QString::fromLatin1(kDataFile));
    EXPECT_TRUE(harness.device.externalFlash(0, int(data.size())) == data);
    const QByteArray region = test::sealedFirmwareRegion(
        harness.set.file(QString::fromLatin1(kFirmwareFile)), kMainStart, kChecksumAddress);
    ASSERT_FALSE(region.isEmpty());
    EXPECT_TRUE(processorFlash(harness, kMainStart, int(region.size())) == region);
}

std::function<void(UpgradeHarness&)> replaceServerFile(const char* name, QByteArray contents) {
    return [name, contents](UpgradeHarness& h) {
        ASSERT_TRUE(h.set.replaceFile(QString::fromLatin1(name), contents));
    };
}

class UpgradeWorkflowTest : public ::testing::Test {
protected:
    void SetUp() override { setUiLanguage(UiLanguage::Russian); }
};

TEST_F(UpgradeWorkflowTest, OneRunWritesBothFilesRestartsTheInstrumentAndSetsItsLanguage) {
    UpgradeHarness harness;
    ASSERT_TRUE(harness.start());
    harness.packets.answer = 0;         // RU_EN
    harness.languages.answerIndex = 0;  // Русский, code 0; the instrument has 1
    harness.device.dialogs.yesNoAnswers << true;

    UpgradeCheck check;
    EXPECT_EQ(harness.runWorkflow(&check), UpgradeOutcome::Written);

    EXPECT_EQ(harness.packets.offered, QStringList({"RU_EN", "EURO"}));
    EXPECT_EQ(check.section, "SOFT_SET:TRV-278.V2.T23.RU_EN");
    expectBothFilesWritten(harness);
    EXPECT_EQ(harness.mode(), InstrumentMode::MainFirmware);
    EXPECT_EQ(harness.languages.offeredNames, QStringList({"Русский", "Английский"}));
    EXPECT_EQ(languageParameter(harness), 0);

    QList<test::ScriptedDialogs::Box> expectedBoxes;
    const QStringList kinds{"question", "information", "information"};
    const QStringList texts{
        "Доступны обновления :\nKMT2 [2.3] --> [3.2]\nEFL  [1.5] --> [1.6]\nВыполнить "
        "обновление сейчас?",
        "Поздравляем!!!\nОбновление успешно завершено!", "Установлен язык прибора [Русский]"};
    ASSERT_EQ(harness.device.dialogs.boxes.size(), 3)
        << harness.device.logLines().join('\n').toStdString();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(harness.device.dialogs.boxes[i].kind, kinds[i]);
        EXPECT_EQ(harness.device.dialogs.boxes[i].text, texts[i]);
    }

    const QStringList& log = harness.device.log.lines();
    EXPECT_TRUE(containsInOrder(
        log, {"==>DeviceInformation_Get", "TRY PAR INIT", "OK", "==>Начинаем процесс обновления",
              "==>Device_goto_BOOT mode", "==>Update_KMT2", "==>Device_GoTo_KMT2", "==>Update_EFL",
              "==>Device_GoTo_KMT2", "TRY wrtiting parameter LANGUAGE to value = 0 (Old value = 1)",
              "OK NEW LANGUAGE = Русский"}));

    // Three spans of the busy sign: the readout, the firmware set's download, and the writing,
    // which starts right after its announcement.
    const auto& busy = harness.busy.events;
    ASSERT_EQ(busy.size(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(busy[i].shown, i % 2 == 0) << i;
    }
    EXPECT_EQ(busy[0].periodMs, 100);
    EXPECT_EQ(log.at(busy[0].logLines), "==>DeviceInformation_Get");
    EXPECT_EQ(log.at(busy[4].logLines - 1), "==>Начинаем процесс обновления");
}

struct Refusal {
    const char* name;
    std::function<void(UpgradeHarness&)> arrange;  // before start
    std::function<void(UpgradeHarness&)> afterStart;
    UiLanguage language;
    QString box;
    QString logLine;  // empty: none of the workflow's own
    bool firmwareFetched;
};

TEST_F(UpgradeWorkflowTest, EachRefusalWritesNothingAndLeavesOneBoxAndItsLogLine) {
    const auto base = [](QList<QByteArray> records) {
        return [records](UpgradeHarness& h) { ASSERT_TRUE(h.set.writeBase(records)); };
    };
    const Refusal refusals[] = {
        {"no readout",
         {},
         [](UpgradeHarness& h) { h.device.silence(0); },
         UiLanguage::Russian,
         "Данные из прибора не получены!",
         "",
         false},
        {"unregistered",
         base({"11111111;Verimant;278;2;1;1;1000;RU;0;0;0;0;0;0;0;0"}),
         {},
         UiLanguage::Russian,
         "Для Вашего прибора\nSN=[12345678]\nобновлений нет",
         "ERROR SN [12345678] : not registered",
         false},
        {"unregistered, English",
         base({}),
         {},
         UiLanguage::English,
         "For Your Device\nSN=[12345678]\nno updates",
         "ERROR SN [12345678] : not registered",
         false},
        {"record without board version",
         base({"12345678;Verimant;278;;1;1;1000;RU;0;0;0;0;0;0;0;0"}),
         {},
         UiLanguage::Russian,
         "Ошибка загрузки данных [12345678]",
         "ERROR SN [12345678] : not loaded data",
         false},
        {"board 245 wants type code 1",
         base({"12345678;Verimant;245;2;1;1;1000;RU;0;0;0;0;0;0;0;0"}),
         {},
         UiLanguage::Russian,
         "Не соответствует тип платы",
         "ERROR BOARD CODE : do not mutch with Base",
         false},
        {"board version",
         base({"12345678;Verimant;278;5;1;1;1000;RU;0;0;0;0;0;0;0;0"}),
         {},
         UiLanguage::English,
         "Board Version do not mutch with Base\nIn Base : 5\nIn Your Device : 2",
         "ERROR BOARD VERSION  : do not mutch with Base",
         false},
        {"language set without packets",
         base({"12345678;Verimant;278;2;1;1;1000;ru;0;0;0;0;0;0;0;0"}),
         {},
         UiLanguage::Russian,
         "Ошибка получения данных по языкам!\nОбновление недоступно :(",
         "Ошибка получения списка языков: ERC[0]",
         false},
        {"packet choice cancelled",
         {},
         [](UpgradeHarness& h) { h.packets.answer = kPacketChoiceCancelled; },
         UiLanguage::Russian,
         "Обновление отменено пользователем",
         "",
         false},
        {"no firmware set for the model",
         [](UpgradeHarness& h) {
             ASSERT_TRUE(h.set.editConfig("[SOFT_SET:TRV-278.V2.T23.RU_EN]",
                                          "[SOFT_SET:TRV-278.V2.T99.RU_EN]"));
         },
         {},
         UiLanguage::Russian,
         "Данные из сервера не получены!\nИнформация по обновлению недоступна :(",
         "",
         false},
        {"data file missing on the server",
         [](UpgradeHarness& h) {
             ASSERT_TRUE(QFile::remove(h.set.root() + "/" + QString::fromLatin1(kDataFile)));
         },
         {},
         UiLanguage::English,
         "Information from Server is not loaded!\nUpgade is unavalible :(",
         "Ошибка получения файла с сервера обновлений [verimant_efl_ru_en_1_6.bin]: ERC[-1]",
         true},
        // Files that cannot be written are refused before the instrument is restarted: found
        // after the switch, they left it in its boot loader on every rerun.
        {"main firmware that is no record file",
         replaceServerFile(kFirmwareFile, "this is not a record file\r\n"),
         {},
         UiLanguage::Russian,
         "",
         "",
         true},
        {"empty data image",
         replaceServerFile(kDataFile, ""),
         {},
         UiLanguage::English,
         "The EFL data file is empty",
         "Обновление EFL не выполнено - файл пуст: ERC[0]",
         true},
        {"a data image that is not the one the configuration hashes",
         [](UpgradeHarness& h) {
             QFile file(h.set.root() + "/" + QString::fromLatin1(kDataFile));
             ASSERT_TRUE(file.open(QIODevice::ReadWrite));
             ASSERT_TRUE(file.seek(0x9000) && file.putChar('\x5A'));
         },
         {},
         UiLanguage::Russian,
         "Данные из сервера не получены!\nИнформация по обновлению недоступна :(",
         "",
         true},
        {"both files of the set on one local name",
         [](UpgradeHarness& h) {
             ASSERT_TRUE(h.set.editConfig("NAME=verimant_efl_ru_en_1_6.bin",
                                          "NAME=efl\\verimant_kmt2_3_2.hex"));
         },
         {},
         UiLanguage::Russian,
         "Данные из сервера не получены!\nИнформация по обновлению недоступна :(",
         "Ошибка : файлы [verimant_kmt2_3_2.hex] и [efl\\verimant_kmt2_3_2.hex] ложатся в один "
         "локальный файл: ERC[0]",
         false},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        setUiLanguage(refusal.language);
        UpgradeHarness harness;
        if (refusal.arrange) {
            refusal.arrange(harness);
        }
        ASSERT_TRUE(harness.start());
        if (refusal.afterStart) {
            refusal.afterStart(harness);
        }
        harness.device.dialogs.yesNoAnswers << true << true;

        const UpgradeOutcome outcome = harness.runWorkflow();

        EXPECT_TRUE(outcome == UpgradeOutcome::Refused || outcome == UpgradeOutcome::Cancelled);
        const QStringList errors = harness.device.dialogs.textsOf("error");
        EXPECT_EQ(harness.device.dialogs.boxes.size(), 1) << errors.join(" | ").toStdString();
        if (!refusal.box.isEmpty()) {
            EXPECT_EQ(errors.value(0), refusal.box);
        }
        if (!refusal.logLine.isEmpty()) {
            EXPECT_EQ(harness.device.log.lines().count(refusal.logLine), 1)
                << harness.device.logLines().join('\n').toStdString();
        }
        EXPECT_TRUE(harness.flashOperations().empty());
        EXPECT_EQ(harness.mode(), InstrumentMode::MainFirmware);
        EXPECT_EQ(harness.fetchedFiles().contains(QString::fromLatin1(kFirmwareFile)),
                  refusal.firmwareFetched);
        EXPECT_FALSE(harness.device.log.lines().contains("==>Начинаем процесс обновления"));
    }
}

TEST_F(UpgradeWorkflowTest, AnInstrumentWithTheSetsVersionsIsAskedToReinstallAndYesWritesBoth) {
    sim::InstrumentConfig config;
    config.mainVersion = 0x0302;
    config.eflVersionText = "V1.06";
    UpgradeHarness harness(config);
    ASSERT_TRUE(harness.start());
    harness.device.dialogs.yesNoAnswers << true;
    harness.languages.answerIndex = -1;

    UpgradeCheck check;
    EXPECT_EQ(harness.runWorkflow(&check), UpgradeOutcome::Written);

    EXPECT_TRUE(check.differences.isEmpty());
    EXPECT_EQ(harness.device.dialogs.textsOf("question"),
              QStringList({"В приборе установлено самое новое ПО\nОбновление не требуется\nВсе "
                           "равно переустановить программное обеспечение?"}));
    expectBothFilesWritten(harness);
}

TEST_F(UpgradeWorkflowTest, AnythingButYesToTheConsentStopsWithoutAWordOrAWrite) {
    UpgradeHarness harness;
    ASSERT_TRUE(harness.start());
    harness.device.dialogs.yesNoAnswers << false;

    EXPECT_EQ(harness.runWorkflow(), UpgradeOutcome::Declined);

    EXPECT_EQ(harness.device.dialogs.boxes.size(), 1);
    EXPECT_EQ(harness.device.log.lines().last(), "OK");  // nothing after the settings load
    EXPECT_TRUE(harness.flashOperations().empty());
    EXPECT_EQ(harness.busy.events.size(), 4);
}

TEST_F(UpgradeWorkflowTest, AFailingSwitchIntoTheBootLoaderWritesNothingAndShowsUpdatingError) {
    setUiLanguage(UiLanguage::English);
    UpgradeHarness harness;
    ASSERT_TRUE(harness.start());
    harness.device.dialogs.yesNoAnswers << true;
    // The instrument stops answering when the writing starts: the restart request is lost.
    harness.busy.onShow = [&harness](int showing) {
        if (showing == 3) {
            harness.device.silence(0);
        }
    };

    EXPECT_EQ(harness.runWorkflow(), UpgradeOutcome::WriteFailed);

    EXPECT_TRUE(harness.flashOperations().empty());
    EXPECT_EQ(harness.device.dialogs.textsOf("information"), QStringList({"Updating Error"}));
    EXPECT_TRUE(harness.device.log.lines().contains("ERROR : Device_GoTo_Booter: ERC[0]"))
        << harness.device.logLines().join('\n').toStdString();
    EXPECT_FALSE(harness.device.log.lines().contains("==>Update_KMT2"));
    EXPECT_EQ(harness.languages.opened, 0);
    EXPECT_FALSE(harness.busy.events.last().shown);
}

// An instrument waiting in its boot loader reports no main firmware and no data version: its
// settings are not touched and both parts count as changed.
TEST_F(UpgradeWorkflowTest, AnInstrumentInItsBootLoaderIsOfferedBothPartsWithoutTouchingSettings) {
    sim::InstrumentConfig config;
    config.startMode = InstrumentMode::BootLoader;
    UpgradeHarness harness(config);
    ASSERT_TRUE(harness.start());

    UpgradeCheck check;
    EXPECT_EQ(harness.runWorkflow(&check), UpgradeOutcome::Declined);

    EXPECT_EQ(check.differences, "KMT2 [0.0] --> [3.2]\nEFL  [0.0] --> [1.6]");
    EXPECT_EQ(check.section, "SOFT_SET:TRV-278.V2.T23.RU_EN");
    EXPECT_FALSE(harness.device.log.lines().contains("TRY PAR INIT"));
    // The readout's own warning, then the consent, which is declined here.
    EXPECT_EQ(harness.device.dialogs.textsOf("warning").size(), 1);
    EXPECT_EQ(harness.device.dialogs.textsOf("question").size(), 1);
    EXPECT_TRUE(harness.flashOperations().empty());
    EXPECT_EQ(harness.mode(), InstrumentMode::BootLoader);
}

// With the language in the settings block (variant 39), an upgrade that starts in the boot loader
// used to read the language from a block it never loaded: the instrument's language 1 passed for
// the block's empty 0, and choosing Russian (0) wrote nothing.
TEST_F(UpgradeWorkflowTest, AStartInTheBootLoaderStillWritesTheChosenLanguageIntoTheSettings) {
    sim::InstrumentConfig config;
    config.startMode = InstrumentMode::BootLoader;
    config.boardVariant = 39;
    UpgradeHarness harness(config);
    ASSERT_TRUE(harness.start());
    harness.device.dialogs.yesNoAnswers << true;
    harness.languages.answerIndex = 0;  // Русский, code 0

    EXPECT_EQ(harness.runWorkflow(), UpgradeOutcome::Written);

    const auto stored = [&harness](int copy) {
        return harness.device.withInstrument(
            [copy](sim::Instrument& instrument) { return instrument.settingsCopy(copy)[6]; });
    };
    EXPECT_EQ(stored(0), 0);
    EXPECT_EQ(stored(1), 0);
    EXPECT_TRUE(containsInOrder(harness.device.log.lines(),
                                {"==>Update_EFL", "TRY PAR INIT",
                                 "TRY wrtiting parameter LANGUAGE to value = 0 (Old value = 1)",
                                 "OK NEW LANGUAGE = Русский"}));
}

// On a bench with several instruments another one can come back under the port after a restart,
// or one whose serial number was given twice. It must get nothing, and the run must not end as a
// success.
TEST_F(UpgradeWorkflowTest, AnotherInstrumentBehindThePortAfterARestartGetsNothing) {
    struct Case {
        const char* name;
        InstrumentMode swappedWhenBackIn;  // the restart after which the other one answers
        bool firmwareWritten;
        bool sameSerial;  // only the processor UID tells it apart
    };
    const QString otherUid = "FE:FD:FC:FB:FA:F9:F8:F7:F6:F5:F4:F3";
    const Case cases[] = {
        {"after the switch into the boot loader", InstrumentMode::BootLoader, false, false},
        {"after the switch back", InstrumentMode::MainFirmware, true, false},
        {"with the same serial number", InstrumentMode::BootLoader, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UpgradeHarness harness;
        ASSERT_TRUE(harness.start());
        harness.device.dialogs.yesNoAnswers << true;
        const InstrumentMode swapBefore = c.swappedWhenBackIn == InstrumentMode::BootLoader
                                              ? InstrumentMode::MainFirmware
                                              : InstrumentMode::BootLoader;
        // Armed once the instrument runs the program it restarts from, so it takes effect at the
        // next restart.
        QTimer arm;
        arm.setInterval(20);
        QObject::connect(&arm, &QTimer::timeout, [&] {
            if (harness.device.log.lines().contains("==>Начинаем процесс обновления") &&
                harness.mode() == swapBefore) {
                sim::SimFaults faults;
                if (c.sameSerial) {
                    faults.uidAfterRestart = true;
                } else {
                    faults.serialAfterRestart = QStringLiteral("87654321");
                }
                harness.device.instrument().setFaults(faults);
                arm.stop();
            }
        });
        arm.start();

        EXPECT_EQ(harness.runWorkflow(), UpgradeOutcome::WriteFailed);

        bool externalWritten = false;
        bool processorWritten = false;
        for (const sim::FlashOperation& op : harness.flashOperations()) {
            (op.target == sim::FlashTarget::External ? externalWritten : processorWritten) = true;
        }
        EXPECT_FALSE(externalWritten);
        EXPECT_EQ(processorWritten, c.firmwareWritten);
        EXPECT_EQ(harness.languages.opened, 0);
        const QString serial = c.sameSerial ? "1-23-45678" : "8-76-54321";
        const QStringList errors = harness.device.dialogs.textsOf("error");
        ASSERT_EQ(errors.size(), 1);
        EXPECT_EQ(errors[0], c.sameSerial
                                 ? "На COM 7 отвечает другой прибор (SN=1-23-45678, другой UID " +
                                       otherUid + ").\nЗапись отменена."
                                 : "На COM 7 отвечает другой прибор (SN=8-76-54321, ожидался "
                                   "SN=1-23-45678).\nЗапись отменена.");
        EXPECT_EQ(harness.device.dialogs.textsOf("information"),
                  QStringList({"Ошибка обновления!"}));
        EXPECT_TRUE(harness.device.log.lines().contains(
            "ERROR : COM 7 - другой прибор: S/N " + serial + " UID " + otherUid +
            ", ожидался S/N 1-23-45678 UID 01:02:03:04:05:06:07:08:09:0A:0B:0C: ERC[0]"))
            << harness.device.logLines().join('\n').toStdString();
    }
}

// After the last restart the instrument must report what was written. A boot loader that took the
// new firmware and still starts the old one would otherwise end in congratulations.
TEST_F(UpgradeWorkflowTest, AnInstrumentThatKeepsReportingItsOldVersionFailsTheUpgrade) {
    sim::InstrumentConfig config;
    config.keepReportedVersion = true;
    UpgradeHarness harness(config);
    ASSERT_TRUE(harness.start());
    harness.device.dialogs.yesNoAnswers << true;

    EXPECT_EQ(harness.runWorkflow(), UpgradeOutcome::WriteFailed);

    EXPECT_EQ(harness.device.dialogs.textsOf("information"), QStringList({"Ошибка обновления!"}));
    EXPECT_EQ(harness.languages.opened, 0) << "no language step after a failed upgrade";
    EXPECT_TRUE(harness.device.log.lines().contains(
        "ERROR : the instrument reports KMT2 2.3, EFL 1.6; written KMT2 3.2, EFL 1.6: ERC[0]"))
        << harness.device.logLines().join('\n').toStdString();
}

}  // namespace
}  // namespace verimant
