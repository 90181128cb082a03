// Everything is reachable without a mouse and named for assistive technology, in the interface
// language in force.

#include "tests/ui/window_fixture.h"

#include "ui/device_language_dialog.h"
#include "ui/language_packet_dialog.h"
#include "ui/mnemonic_text.h"

#include <QAccessible>
#include <QComboBox>
#include <QMenuBar>
#include <QRegularExpression>

#include <set>

namespace verimant::test {
namespace {

bool hasCyrillic(const QString& text) {
    static const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
    return text.contains(cyrillic);
}

// What the operator can act on or read a value from: focusable controls, the menu bar, and the
// value fields and status panels.
bool interactive(const QWidget* widget) {
    static const QRegularExpression valueField(
        QStringLiteral("^(ST_DI_|Panel_COM|Panel_Conn|"
                       "Panel_Bottom_Info_Text|ProgressBar)"));
    return widget->focusPolicy() != Qt::NoFocus || qobject_cast<const QMenuBar*>(widget) ||
           valueField.match(widget->objectName()).hasMatch();
}

class KeyboardAccessTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        showWindow();
    }
};

TEST_F(KeyboardAccessTest, EveryControlIsNamedInTheInterfaceLanguage) {
    LanguagePacketDialog packets(window.get());
    DeviceLanguageDialog deviceLanguages(window.get());
    for (const UiLanguage language : {UiLanguage::Russian, UiLanguage::English}) {
        window->ApplyLanguage(language);
        for (QWidget* root :
             std::initializer_list<QWidget*>{window.get(), &packets, &deviceLanguages}) {
            int walked = 0;
            for (QWidget* control : root->findChildren<QWidget*>()) {
                if (!interactive(control)) {
                    continue;
                }
                ++walked;
                const QString where = root->objectName() + "/" + control->objectName() + " (" +
                                      control->metaObject()->className() + ")";
                SCOPED_TRACE(where.toStdString() +
                             (language == UiLanguage::English ? " English" : " Russian"));
                QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
                ASSERT_NE(accessible, nullptr);
                const QString name = accessible->text(QAccessible::Name);
                const QString description = accessible->text(QAccessible::Description);
                EXPECT_FALSE(name.trimmed().isEmpty());
                EXPECT_FALSE(description.trimmed().isEmpty());
                if (language == UiLanguage::English) {
                    EXPECT_FALSE(hasCyrillic(name) || hasCyrillic(description))
                        << name.toStdString() << " / " << description.toStdString();
                }
            }
            EXPECT_GE(walked, 3) << root->objectName().toStdString();
        }
    }
}

// Every item of every menu, in both languages, opens with its own letter.
TEST_F(KeyboardAccessTest, EveryMenuItemHasAMnemonicOfItsOwn) {
    QList<QWidget*> menus{window->menuBar()};
    for (QMenu* menu : window->findChildren<QMenu*>()) {
        menus.append(menu);
    }
    for (const UiLanguage language : {UiLanguage::Russian, UiLanguage::English}) {
        window->ApplyLanguage(language);
        for (QWidget* menu : menus) {
            std::set<QChar> seen;
            for (QAction* item : menu->actions()) {
                // Blank spacers and the digits of the disabled port list are not items to reach.
                if (item->isSeparator() || item->text().trimmed().isEmpty() ||
                    menu->objectName() == QLatin1String("Menu_PP_Manual_List")) {
                    continue;
                }
                SCOPED_TRACE((menu->objectName() + ": " + item->text()).toStdString());
                const QChar letter = mnemonicOf(item->text());
                EXPECT_FALSE(letter.isNull());
                EXPECT_TRUE(seen.insert(letter).second) << "shared mnemonic";
            }
        }
    }
}

TEST_F(KeyboardAccessTest, F10OrAltAloneOpensTheMenuBar) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const struct {
        const char* keys;
        std::function<void(QWidget*)> press;
    } cases[] = {
        {"F10", [](QWidget* at) { QTest::keyClick(at, Qt::Key_F10); }},
        {"Alt",
         [](QWidget* at) {
             QTest::keyPress(at, Qt::Key_Alt, Qt::AltModifier);
             QTest::keyRelease(at, Qt::Key_Alt);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        QWidget* focus = widget("BitBtn_ReNewDeviceInfo");
        focus->setFocus();
        ASSERT_EQ(window->menuBar()->activeAction(), nullptr);
        c.press(focus);
        QAction* opened = window->menuBar()->activeAction();
        ASSERT_NE(opened, nullptr);
        EXPECT_EQ(shownText(opened->text()), "Файл");
        QTest::keyClick(window->menuBar(), Qt::Key_Escape);
        window->menuBar()->setActiveAction(nullptr);
        QApplication::processEvents();
    }
}

}  // namespace
}  // namespace verimant::test
