#pragma once

#include "base/ui_language.h"
#include "platform/cp1251.h"
#include "update/update_config.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QTest>

namespace verimant::test {

// A stand-in main window on the offscreen screen, for the choice windows to centre on and
// disable, in Russian unless a test switches.
class ChoiceWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        setUiLanguage(UiLanguage::Russian);
        mainWindow.setGeometry(200, 150, 768, 272);
        mainWindow.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&mainWindow));
    }
    void TearDown() override { setUiLanguage(UiLanguage::Russian); }

    // A configuration opened from `text`, stored in CP1251 as the server publishes it.
    void openConfig(const QString& text) {
        QFile file(QDir::temp().filePath(QString::fromLatin1(kConfigFileName)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(encodeCp1251(text));
        file.close();
        config.openConfig(file.fileName());
    }

    template <typename T>
    static T* child(QWidget* window, const char* name) {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    static QStringList items(QComboBox* combo) {
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i) {
            texts.append(combo->itemText(i));
        }
        return texts;
    }

    // A double click at `at` in `target`, by default its middle.
    static void doubleClick(QWidget* target, QPoint at = {-1, -1}) {
        if (at.x() < 0) {
            at = target->rect().center();
        }
        QMouseEvent event(QEvent::MouseButtonDblClick, at, target->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }

    QWidget mainWindow;
    UpdateConfig config;
};

}  // namespace verimant::test
