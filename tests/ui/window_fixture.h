#pragma once

#include "base/ui_language.h"
#include "platform/setting_store.h"
#include "ui/main_window.h"
#include "ui/mnemonic_text.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>

#include <memory>

namespace verimant::test {

// What a menu item reads on screen: its mnemonic mark is drawn as an underline, not as text.
inline QString shownText(const QString& text) {
    return withoutMnemonic(text);
}

// A fresh main window in Russian with nothing stored, shown on the offscreen screen.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        writeUserInt32(QStringLiteral("MANAGER/OPTIONS"), QStringLiteral("LANGUAGE"), 1);
        writeUserInt32(QStringLiteral("MANAGER/OPTIONS"), QStringLiteral("VERIFY_WRITES"), 0);
        writeUserInt32(QStringLiteral("MANAGER/OPTIONS"), QStringLiteral("DATA_SOURCE"), 0);
        writeUserText(QStringLiteral("MANAGER/OPTIONS"), QStringLiteral("LOCAL_FOLDER"), QString());
        setUiLanguage(UiLanguage::Russian);
        window = std::make_unique<MainWindow>();
    }

    void showWindow() {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    template <typename T = QWidget>
    T* widget(const char* name) const {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QAction* action(const char* name) const { return widget<QAction>(name); }

    std::unique_ptr<MainWindow> window;
};

}  // namespace verimant::test
