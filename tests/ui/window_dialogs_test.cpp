#include "ui/window_dialogs.h"
#include "base/ui_language.h"
#include "ui/bottom_panel.h"
#include "ui/toolkit_translation.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>

#include <functional>

namespace verimant::test {
namespace {

// Runs `answer` on the modal dialog that the next call opens.
void whenModalOpens(std::function<void(QWidget*)> answer) {
    QTimer::singleShot(0, [answer] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        answer(modal);
    });
}

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QString yesText;
    QString noText;
};

void pressOnBox(SeenBox& seen, QMessageBox::StandardButton button) {
    whenModalOpens([&seen, button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        seen = {box->windowTitle(), box->text(), box->standardButtons(), QString(), QString()};
        if (QAbstractButton* yes = box->button(QMessageBox::Yes)) {
            seen.yesText = yes->text();
            seen.noText = box->button(QMessageBox::No)->text();
        }
        box->button(button)->click();
    });
}

class WindowDialogsTest : public ::testing::Test {
protected:
    QWidget owner;
    BottomPanel status;
    WindowDialogs dialogs{&owner, &status};
};

struct BoxLanguageCase {
    UiLanguage language;
    const char* error;
    const char* warning;
    const char* information;
    const char* confirm;
    const char* yes;
    const char* no;
};

// The box titles and Qt's own button labels are in the interface language, whichever it is.
TEST_F(WindowDialogsTest, BoxesSpeakTheInterfaceLanguage) {
    const BoxLanguageCase cases[] = {
        {UiLanguage::English, "Error", "Warning", "Information", "Confirm", "&Yes", "&No"},
        {UiLanguage::Russian, "Ошибка", "Предупреждение", "Информация", "Подтверждение", "&Да",
         "&Нет"},
    };
    for (const BoxLanguageCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.language));
        setUiLanguage(c.language);
        ASSERT_TRUE(applyToolkitLanguage(c.language)) << "qt6-translations-l10n missing";
        SeenBox seen;
        pressOnBox(seen, QMessageBox::Ok);
        dialogs.showError(QStringLiteral("Нет ответа"));
        EXPECT_EQ(seen.title, QString::fromUtf8(c.error));
        EXPECT_EQ(seen.text, QStringLiteral("Нет ответа"));
        EXPECT_EQ(seen.buttons, QMessageBox::Ok);

        pressOnBox(seen, QMessageBox::Ok);
        dialogs.showWarning(QStringLiteral("w"));
        EXPECT_EQ(seen.title, QString::fromUtf8(c.warning));

        pressOnBox(seen, QMessageBox::Ok);
        dialogs.showInformation(QStringLiteral("i"));
        EXPECT_EQ(seen.title, QString::fromUtf8(c.information));

        pressOnBox(seen, QMessageBox::Yes);
        EXPECT_TRUE(dialogs.askYesNo(QStringLiteral("Обновить?"), QString()));
        EXPECT_EQ(seen.title, QString::fromUtf8(c.confirm));
        EXPECT_EQ(seen.yesText, QString::fromUtf8(c.yes));
        EXPECT_EQ(seen.noText, QString::fromUtf8(c.no));
    }
    setUiLanguage(UiLanguage::Russian);
    applyToolkitLanguage(UiLanguage::English);
}

TEST_F(WindowDialogsTest, YesNoQuestionAnswersWhatWasPressed) {
    SeenBox seen;
    pressOnBox(seen, QMessageBox::Yes);
    EXPECT_TRUE(dialogs.askYesNo(QStringLiteral("Обновить?"), QStringLiteral("Конфигурация")));
    EXPECT_EQ(seen.title, QStringLiteral("Конфигурация"));
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    pressOnBox(seen, QMessageBox::No);
    EXPECT_FALSE(dialogs.askYesNo(QStringLiteral("Обновить?"), QString()));

    // Going on despite a failure is asked in a warning box.
    pressOnBox(seen, QMessageBox::Yes);
    EXPECT_TRUE(dialogs.askWarningYesNo(QStringLiteral("Продолжить?")));
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    pressOnBox(seen, QMessageBox::No);
    EXPECT_FALSE(dialogs.askWarningYesNo(QStringLiteral("Продолжить?")));
}

TEST_F(WindowDialogsTest, TextInputKeepsTheValueOnCancel) {
    QString value = QStringLiteral("1");
    whenModalOpens([](QWidget* modal) {
        auto* input = qobject_cast<QInputDialog*>(modal);
        ASSERT_NE(input, nullptr);
        EXPECT_EQ(input->windowTitle(), "Connecting");
        EXPECT_EQ(input->textValue(), "1");
        input->setTextValue(QStringLiteral("7"));
        input->accept();
    });
    EXPECT_TRUE(dialogs.askText(QStringLiteral("Connecting"), QStringLiteral("Port"), value));
    EXPECT_EQ(value, "7");

    whenModalOpens([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    EXPECT_FALSE(dialogs.askText(QStringLiteral("Connecting"), QStringLiteral("Port"), value));
    EXPECT_EQ(value, "7");
}

TEST_F(WindowDialogsTest, ProgressGoesToTheStatusBar) {
    dialogs.setStatusText(QStringLiteral("Загрузка"));
    dialogs.setProgress(42);
    EXPECT_EQ(status.infoText(), QStringLiteral("Загрузка"));
    EXPECT_EQ(status.progress(), 42);
}

}  // namespace
}  // namespace verimant::test
