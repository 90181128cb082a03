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
        const QString path = QDir::temp().filePath(QStringLiteral("verimant_version_3.ini"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(encodeCp1251(text));
        file.close();
        config.openConfig(path);
    }

    template <typename T = QWidget>
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

    static void doubleClick(QWidget* target) {
        const QPointF at(target->width() / 2.0, target->height() / 2.0);
        QMouseEvent event(QEvent::MouseButtonDblClick, at, target->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }

    QWidget mainWindow;
    UpdateConfig config;
};

}  // namespace verimant::test
