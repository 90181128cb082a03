// Nothing the operator must read is covered or cut: the busy sign stands aside for boxes, value
// fields and the language-packet dialog fit their texts, and boxes open over the window.

#include "tests/ui/choice_window_fixture.h"
#include "tests/ui/window_fixture.h"

#include "ui/bottom_panel.h"
#include "ui/busy_indicator.h"
#include "ui/language_packet_dialog.h"
#include "ui/window_dialogs.h"

#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

#include <functional>

namespace verimant::test {
namespace {

// Runs `inside` once the modal box that the next call opens is up, then closes that box.
void whileModalOpen(std::function<void(QWidget*)> inside) {
    QTimer::singleShot(0, [inside] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        // One more turn of the loop: what the box does right after showing has happened.
        QTimer::singleShot(0, modal, [inside, modal] {
            inside(modal);
            static_cast<QDialog*>(modal)->reject();
        });
    });
}

class NothingHiddenTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        showWindow();
    }
    BottomPanel status;
};

TEST_F(NothingHiddenTest, BusySignStandsAsideWhileABoxOrDialogIsOpen) {
    BusyIndicator busy(window.get());
    UpdateConfig config;
    LanguagePacketDialog packets(window.get());
    WindowDialogs dialogs(window.get(), &status);
    struct Case {
        const char* box;
        std::function<void(bool& signShownInside)> open;
    };
    const Case cases[] = {
        {"message box",
         [&](bool& inside) {
             whileModalOpen([&](QWidget*) { inside = busy.isVisible(); });
             dialogs.showWarning(QStringLiteral("Внимание! Прибор находится в режиме загрузчика!"));
         }},
        {"question",
         [&](bool& inside) {
             whileModalOpen([&](QWidget*) { inside = busy.isVisible(); });
             dialogs.askWarningYesNo(QStringLiteral("Прервать?"));
         }},
        {"text input",
         [&](bool& inside) {
             whileModalOpen([&](QWidget*) { inside = busy.isVisible(); });
             QString value = QStringLiteral("3");
             dialogs.askText(QStringLiteral("Порт"), QStringLiteral("Номер"), value);
         }},
        {"packet dialog",
         [&](bool& inside) {
             int slot = 0;
             packets.OpenLanguagePacketDialog(config, {"EURO"}, slot);
             inside = busy.isVisible();
             packets.BitBtn2Click();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        busy.ShowBusy(100);
        ASSERT_TRUE(busy.isVisible());
        bool signShownInside = true;
        c.open(signShownInside);
        EXPECT_FALSE(signShownInside);
        EXPECT_TRUE(busy.isVisible()) << "the sign must come back once the box is closed";
        busy.HideBusy();
    }
    // A box closing while the work is not busy brings nothing back.
    whileModalOpen([](QWidget*) {});
    dialogs.showInformation(QStringLiteral("i"));
    EXPECT_FALSE(busy.isVisible());
}

// Values as wide as the instrument reports them, at the smallest and a large window size.
TEST_F(NothingHiddenTest, ValueFieldsShowTheirTextWhole) {
    const struct {
        InfoField field;
        const char* name;
        const char* text;
    } values[] = {
        {InfoField::Uid, "ST_DI_UID", "FF:EE:DD:CC:BB:AA:99:88:77:66:55:44"},
        {InfoField::SerialNumber, "ST_DI_Serial_Number", "9-99-99999"},
        {InfoField::BoardVersion, "ST_DI_Board_Version", "255.255"},
        {InfoField::SwExternal, "ST_DI_SW_External", "255.255"},
        {InfoField::SerialNumber, "ST_DI_Serial_Number", "Нет ответа от прибора"},
    };
    for (const QSize size :
         {QSize(MainWindow::kMinimumWidth, MainWindow::kMinimumHeight), QSize(1200, 700)}) {
        window->resize(size);
        for (const auto& value : values) {
            SCOPED_TRACE(value.text);
            window->setInfoField(value.field, QString::fromUtf8(value.text));
            QApplication::processEvents();
            auto* field = widget<QLabel>(value.name);
            EXPECT_GE(field->contentsRect().width(),
                      field->fontMetrics().horizontalAdvance(field->text()));
            // The field itself lies inside its group and the group inside the window.
            QWidget* group = field->parentWidget();
            EXPECT_TRUE(group->rect().contains(field->geometry())) << size.width();
            EXPECT_TRUE(window->rect().contains(
                QRect(group->mapTo(window.get(), QPoint(0, 0)), group->size())));
        }
    }
}

TEST_F(NothingHiddenTest, BoxOpensOverTheWindowOrTheScreensMiddleBeforeIt) {
    for (const bool windowShown : {true, false}) {
        SCOPED_TRACE(windowShown);
        window->setVisible(windowShown);
        WindowDialogs dialogs(window.get(), &status);
        QPoint boxCentre;
        whileModalOpen([&](QWidget* box) { boxCentre = box->frameGeometry().center(); });
        dialogs.askWarningYesNo(
            QStringLiteral("Нет соединения с сервером!\nВсе равно продолжить?"));
        const QPoint expected = windowShown ? window->frameGeometry().center()
                                            : window->screen()->availableGeometry().center();
        EXPECT_LE((boxCentre - expected).manhattanLength(), 4)
            << boxCentre.x() << "," << boxCentre.y();
    }
}

// Long names and descriptions must not hide behind a scroll bar, nor the caption be elided.
class PacketDialogFitTest : public ChoiceWindowTest {};

TEST_F(PacketDialogFitTest, CaptionAndDescriptionReadWholeInEitherLanguage) {
    openConfig(QStringLiteral(
        "[LANGUAGE:WIDE]\n"
        "NAME_L1=Русский, английский, немецкий, французский, испанский\n"
        "NAME_L2=Russian, English, German, French, Spanish\n"
        "INFO_L1_S1=Набор для приборов, поставляемых в страны Европейского союза и СНГ\n"
        "INFO_L1_S2=Языки меню: русский, английский, немецкий, французский\n"
        "INFO_L1_S3=Третья строка\n"
        "INFO_L1_S4=Четвёртая строка\n"
        "INFO_L1_S5=Пятая строка\n"
        "INFO_L1_S6=Шестая строка\n"
        "INFO_L2_S1=Packet for instruments delivered to the European Union and the CIS\n"
        "INFO_L2_S2=Menu languages: Russian, English, German, French\n"
        "[LANGUAGE:NARROW]\n"
        "NAME_L1=Мало\n"
        "NAME_L2=Few\n"
        "INFO_L1_S1=1\n"
        "INFO_L2_S1=1\n"));
    LanguagePacketDialog dialog(&mainWindow);
    for (const UiLanguage language : {UiLanguage::Russian, UiLanguage::English}) {
        SCOPED_TRACE(static_cast<int>(language));
        setUiLanguage(language);
        int slot = 0;
        // The narrow packet comes first: the dialog is sized for every packet, not the shown one.
        dialog.OpenLanguagePacketDialog(config, {"NARROW", "WIDE"}, slot);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        auto* combo = child<QComboBox>(&dialog, "ComboBox1");
        combo->setCurrentIndex(1);
        QApplication::processEvents();
        auto* memo = child<QPlainTextEdit>(&dialog, "Memo1");
        EXPECT_EQ(memo->horizontalScrollBar()->maximum(), 0);
        EXPECT_EQ(memo->verticalScrollBar()->maximum(), 0);
        EXPECT_GE(combo->width(), combo->sizeHint().width());
        const QFontMetrics caption(QApplication::font("QMdiSubWindowTitleBar"));
        EXPECT_GT(dialog.width(), caption.horizontalAdvance(dialog.windowTitle()));
        EXPECT_LE((dialog.frameGeometry().center() - mainWindow.frameGeometry().center())
                      .manhattanLength(),
                  2);
        dialog.BitBtn2Click();
    }
}

}  // namespace
}  // namespace verimant::test
