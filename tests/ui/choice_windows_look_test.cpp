#include "tests/ui/choice_window_fixture.h"

#include "tests/update/language_catalog.h"
#include "ui/busy_indicator.h"
#include "ui/device_language_dialog.h"
#include "ui/language_packet_dialog.h"
#include "ui/main_window.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QProcessEnvironment>
#include <QScreen>

namespace verimant::test {
namespace {

// Every control inside its window, and every caption readable in full, in both languages. With
// VERIMANT_SCREENSHOT_DIR set (under a real X server), each window is also photographed over the
// main window.
class ChoiceWindowsLookTest : public ChoiceWindowTest {
protected:
    void SetUp() override {
        ChoiceWindowTest::SetUp();
        mainWindow.hide();
        openConfig(
            QStringLiteral("[LANGUAGE:RU_EN]\n"
                           "NAME_L1=Русский и английский\n"
                           "NAME_L2=Russian and English\n"
                           "INFO_L1_S1=Языки прибора:\n"
                           "INFO_L1_S2=  русский\n"
                           "INFO_L1_S3=  английский\n"
                           "INFO_L2_S1=Instrument languages:\n"
                           "INFO_L2_S2=  Russian\n"
                           "INFO_L2_S3=  English\n"
                           "[LANGUAGE:EURO]\n"
                           "NAME_L1=Европейский\n"
                           "NAME_L2=European\n"));
    }

    void showMainWindow(UiLanguage language) {
        window.ApplyLanguage(language);
        window.move(40, 40);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    // Checks the shown `dialog` and photographs it as `name`.
    void lookAt(QWidget* dialog, const QString& name) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
        const QRect area = dialog->rect();
        for (QWidget* control : dialog->findChildren<QWidget*>()) {
            if (!control->isVisibleTo(dialog) || control->objectName().isEmpty() ||
                control->objectName().startsWith(QLatin1String("qt_"))) {
                continue;
            }
            SCOPED_TRACE(control->objectName().toStdString());
            const QRect placed(control->mapTo(dialog, QPoint(0, 0)), control->size());
            EXPECT_TRUE(area.contains(placed)) << "outside the window";
            QString text;
            if (auto* button = qobject_cast<QAbstractButton*>(control)) {
                text = button->text();
            } else if (auto* label = qobject_cast<QLabel*>(control)) {
                text = label->text();
            } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
                text = group->title();
            }
            EXPECT_LE(control->fontMetrics().horizontalAdvance(text), control->width()) << "cut";
        }
        photograph(dialog, name);
    }

    void photograph(QWidget* over, const QString& name) {
        const QString folder = QProcessEnvironment::systemEnvironment().value(
            QStringLiteral("VERIMANT_SCREENSHOT_DIR"));
        if (folder.isEmpty()) {
            return;
        }
        QTest::qWait(300);
        const QRect area =
            window.frameGeometry().united(over->frameGeometry()).adjusted(-8, -8, 8, 8);
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(
            0, area.x(), area.y(), area.width(), area.height());
        EXPECT_TRUE(shot.save(QDir(folder).filePath(name + QStringLiteral(".png"))));
    }

    MainWindow window;
    LanguageCatalog catalog = threeLanguageCatalog();
};

const struct {
    UiLanguage language;
    const char* suffix;
} kLanguages[] = {{UiLanguage::Russian, "-ru"}, {UiLanguage::English, "-en"}};

TEST_F(ChoiceWindowsLookTest, ChoiceWindowsFitTheirTexts) {
    for (const auto& language : kLanguages) {
        SCOPED_TRACE(language.suffix);
        showMainWindow(language.language);
        int slot = 0;
        LanguagePacketDialog packets(&window);
        packets.OpenLanguagePacketDialog(config, {"RU_EN", "EURO"}, slot);
        lookAt(&packets, QStringLiteral("language-packet") + language.suffix);
        packets.BitBtn2Click();
        DeviceLanguageDialog languages(&window);
        languages.OpenDeviceLanguageDialog(&catalog, 1, slot);
        lookAt(&languages, QStringLiteral("device-language") + language.suffix);
        languages.BitBtn1Click();
    }
}

TEST_F(ChoiceWindowsLookTest, BusyIndicatorOverTheMainWindow) {
    for (const auto& language : kLanguages) {
        SCOPED_TRACE(language.suffix);
        showMainWindow(language.language);
        window.SetLogVisible(true);
        BusyIndicator busy(&window);
        busy.ShowBusy(kBusyPeriodMs);
        busy.Timer1Timer();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&busy));
        EXPECT_TRUE(window.frameGeometry().contains(busy.frameGeometry()));
        photograph(&busy, QStringLiteral("busy-indicator") + language.suffix);
        busy.HideBusy();
    }
}

}  // namespace
}  // namespace verimant::test
