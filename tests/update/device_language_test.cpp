#include "update/device_language.h"

#include "base/ui_language.h"
#include "link/settings_block.h"
#include "tests/device/simulated_device.h"
#include "tests/update/language_catalog.h"
#include "update/device_language_chooser.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <functional>

namespace verimant::test {
namespace {

constexpr std::uint8_t kGeneralGroup = 0x01;
constexpr std::uint8_t kReset = 0x05;
constexpr std::uint8_t kWriteParameter = 0x0F;
constexpr std::uint16_t kLanguageId = 6;

// Answers like the dialog would, after the opener has started waiting: OK on a position of the
// offered list, or Cancel. Records what was offered.
class ScriptedLanguageChooser final : public DeviceLanguageChooser {
public:
    static constexpr int kCancel = -100;

    int okAt = kCancel;
    std::function<void()> beforeAnswer;
    OfferedLanguages offered;

    void OpenDeviceLanguageDialog(const LanguageCatalog* catalog, int currentCode,
                                  int& slot) override {
        if (!hasLanguageChoice(catalog, currentCode)) {
            slot = kDeviceLanguageCancelled;
            return;
        }
        offered = offeredLanguages(*catalog, currentCode);
        int* answer = &slot;
        QTimer::singleShot(0, [this, answer] {
            if (beforeAnswer) {
                beforeAnswer();
            }
            *answer =
                okAt == kCancel ? kDeviceLanguageCancelled : languageChoiceResult(offered, okAt);
        });
    }
};

class DeviceLanguageTest : public ::testing::Test {
protected:
    void TearDown() override { setUiLanguage(UiLanguage::Russian); }

    // Starts an instrument with display language 1 whose board variant byte is `variant` (-1: a
    // boot loader too old to report board information), and loads the settings block as the
    // upgrade does before this step.
    bool start(int variant) {
        sim::InstrumentConfig config;
        config.language = 1;
        if (variant < 0) {
            config.bootVersion = 0x0310;
        } else {
            config.boardVariant = variant;
        }
        device.reset();
        device = std::make_unique<SimulatedDevice>(config);
        settings = SettingsBlock{};
        chooser = ScriptedLanguageChooser{};
        if (!device->start()) {
            return false;
        }
        settings.load(device->commands);
        return settings.settingsFailureCount() == 0;
    }

    int run(bool write = true) {
        return SetDeviceLanguage(device->session, settings, &catalog, chooser, write);
    }

    std::int32_t parameter() {
        return *device->withInstrument(
            [](sim::Instrument& instrument) { return instrument.parameter(kLanguageId); });
    }
    std::int32_t storedSetting(int copy) {
        return device->withInstrument(
            [copy](sim::Instrument& instrument) { return instrument.settingsCopy(copy)[6]; });
    }
    int resets() { return device->requests(kGeneralGroup, kReset); }

    std::unique_ptr<SimulatedDevice> device;
    SettingsBlock settings;
    LanguageCatalog catalog = threeLanguageCatalog();
    ScriptedLanguageChooser chooser;
};

// Variants 40 to 59 keep the language as a parameter ("direct"); the others, and instruments
// without board information, in the settings block.
struct PathCase {
    int variant;
    bool direct;
};

const PathCase kPaths[] = {{40, true}, {59, true}, {39, false}, {60, false}, {-1, false}};
const PathCase kBothPaths[] = {kPaths[0], kPaths[2]};

TEST_F(DeviceLanguageTest, WritesTheChosenLanguageOnTheVariantsPathAndRestarts) {
    for (const PathCase& path : kPaths) {
        SCOPED_TRACE(path.variant);
        ASSERT_TRUE(start(path.variant));
        chooser.okAt = 2;
        EXPECT_EQ(run(), 2);
        EXPECT_EQ(chooser.offered.currentIndex, 1);
        if (path.direct) {
            EXPECT_EQ(parameter(), 2);
            EXPECT_TRUE(device->flashOperations().empty());
        } else {
            EXPECT_EQ(parameter(), 1);
            EXPECT_EQ(device->requests(kGeneralGroup, kWriteParameter), 0);
            EXPECT_EQ(storedSetting(0), 2);
            EXPECT_EQ(storedSetting(1), 2);
        }
        EXPECT_EQ(resets(), 1);
        EXPECT_EQ(device->dialogs.textsOf("information"),
                  QStringList({"Установлен язык прибора [Немецкий]"}));
        EXPECT_EQ(device->logLines(),
                  QStringList({"TRY wrtiting parameter LANGUAGE to value = 2 (Old value = 1)",
                               "OK NEW LANGUAGE = Немецкий"}));
    }
}

TEST_F(DeviceLanguageTest, WithoutWriteOnlyAsksAndTheConfirmationNamesInEnglish) {
    setUiLanguage(UiLanguage::English);
    ASSERT_TRUE(start(40));
    chooser.okAt = 0;
    EXPECT_EQ(run(false), 0);
    EXPECT_EQ(parameter(), 1);
    EXPECT_EQ(resets(), 0);
    EXPECT_TRUE(device->dialogs.boxes.isEmpty());

    EXPECT_EQ(run(true), 0);
    EXPECT_EQ(parameter(), 0);
    EXPECT_EQ(device->dialogs.textsOf("information"),
              QStringList({"Language of Verimant is preseted to [Russian]"}));
}

TEST_F(DeviceLanguageTest, NothingChosenWritesNothingAndDoesNotRestart) {
    struct Case {
        const char* what;
        int okAt;
        int result;
    };
    const Case cases[] = {{"cancel", ScriptedLanguageChooser::kCancel, -1},
                          {"the present language", 1, -2}};
    for (const PathCase& path : kBothPaths) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (path.direct ? " direct" : " settings"));
            ASSERT_TRUE(start(path.variant));
            chooser.okAt = c.okAt;
            EXPECT_EQ(run(), c.result);
            EXPECT_EQ(device->requests(kGeneralGroup, kWriteParameter), 0);
            EXPECT_TRUE(device->flashOperations().empty());
            EXPECT_EQ(resets(), 0);
            EXPECT_TRUE(device->dialogs.boxes.isEmpty());
            EXPECT_TRUE(device->logLines().isEmpty());
        }
    }
}

TEST_F(DeviceLanguageTest, SettingsThatFailedEarlierAreReadAgainFirst) {
    ASSERT_TRUE(start(39));
    device->silence();
    settings.readCopy(device->commands, 0);
    ASSERT_NE(settings.settingsFailureCount(), 0);
    device->instrument().setFaults({});
    device->dialogs.boxes.clear();

    chooser.okAt = 2;
    EXPECT_EQ(run(), 2);
    EXPECT_EQ(storedSetting(0), 2);
    EXPECT_EQ(storedSetting(1), 2);
    EXPECT_EQ(device->logLines().first(), "TRY PAR INIT");
}

TEST_F(DeviceLanguageTest, UnknownPresentLanguageOffersTheFirstAndWritesIt) {
    ASSERT_TRUE(start(40));
    device->withInstrument([](sim::Instrument& instrument) { instrument.setParameter(6, 7); });
    chooser.okAt = 0;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(chooser.offered.currentIndex, -1);
    EXPECT_EQ(parameter(), 0);
    EXPECT_EQ(device->logLines().first(),
              "TRY wrtiting parameter LANGUAGE to value = 0 (Old value = 7)");
}

// An unanswered read once passed for language 0: the choice showed it as present, and choosing it
// wrote nothing, so an upgrade ended "successfully" with the instrument in its old language.
TEST_F(DeviceLanguageTest, UnreadPresentLanguageIsUnknownAndTheChoiceIsWritten) {
    ASSERT_TRUE(start(40));
    device->commands.boardCode();  // kept for this connection: the path stays direct while silent
    device->silence();
    chooser.beforeAnswer = [this] { device->instrument().setFaults({}); };
    chooser.okAt = 0;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(chooser.offered.currentIndex, -1);
    EXPECT_EQ(chooser.offered.codes.value(0), 0);
    EXPECT_EQ(parameter(), 0);
    EXPECT_EQ(device->logLines().first(),
              "TRY wrtiting parameter LANGUAGE to value = 0 (Old value = -1)");
}

// Without board information the tool cannot know where the language lives; the settings block
// loaded earlier once answered for an instrument that keeps it as a parameter.
TEST_F(DeviceLanguageTest, UnreadBoardInformationLeavesThePresentLanguageUnknown) {
    ASSERT_TRUE(start(45));
    device->silence();
    chooser.okAt = 2;
    EXPECT_EQ(run(), kDeviceLanguageWriteFailed);
    EXPECT_EQ(chooser.offered.currentIndex, -1);
    EXPECT_EQ(device->dialogs.textsOf("error").value(0), "Ошибка сохранения установок языка :(");
}

TEST_F(DeviceLanguageTest, FailedWriteIsReportedAndNeverConfirmed) {
    for (const PathCase& path : kBothPaths) {
        SCOPED_TRACE(path.direct ? "direct" : "settings");
        ASSERT_TRUE(start(path.variant));
        chooser.okAt = 2;
        // The cable goes while the user chooses.
        chooser.beforeAnswer = [this] { device->silence(); };
        EXPECT_EQ(run(), kDeviceLanguageWriteFailed);
        EXPECT_EQ(parameter(), 1);
        EXPECT_EQ(settings.settingsFailureCount(), 0);
        const QStringList errors = device->dialogs.textsOf("error");
        ASSERT_FALSE(errors.isEmpty());
        EXPECT_EQ(errors.last(), "Ошибка сохранения установок языка :(");
        EXPECT_TRUE(device->dialogs.textsOf("information").isEmpty());
        EXPECT_EQ(device->logLines(),
                  QStringList({"TRY wrtiting parameter LANGUAGE to value = 2 (Old value = 1)",
                               "ERROR in writing parameter LANGUAGE"}));
    }
}

}  // namespace
}  // namespace verimant::test
