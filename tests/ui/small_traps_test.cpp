// The small traps of a working day: a silent NOK while the instrument sits on a port the search
// leaves alone, a Local folder that could not be changed, and a port dialog starting at 1.

#include "link/connection_manager.h"
#include "sim/pty_instrument.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/ui/window_fixture.h"
#include "ui/bottom_panel.h"
#include "ui/data_source_setting.h"
#include "ui/window_connection.h"

#include <QDir>
#include <QTemporaryDir>

namespace verimant::test {
namespace {

class SmallTrapsTest : public WindowTest {
protected:
    void plugIn(int port) {
        sim::PtyInstrumentOptions options;
        options.portNumber = port;
        instrument = std::make_unique<sim::PtyInstrument>(sim::InstrumentConfig{}, options);
        ASSERT_TRUE(instrument->start());
    }

    // Runs the connection timer (fast) until `done` holds or the hint would long have come.
    bool tickUntil(const std::function<bool()>& done) {
        window->connectionTimer().setInterval(10);
        window->connectionTimer().start();
        const bool reached = QTest::qWaitFor(done, 5000);
        window->connectionTimer().stop();
        return reached;
    }

    QString statusText() const { return window->bottomPanel().infoText(); }
    bool logMentions(const QString& text) const {
        return window->activityLog().lines().join(QLatin1Char('\n')).contains(text);
    }

    ScriptedDialogs dialogs;
    std::unique_ptr<sim::PtyInstrument> instrument;
};

// NOK with a port present since the start says what to do, once, in the status bar and the log;
// NOK without one, or with the port chosen by hand, says nothing.
TEST_F(SmallTrapsTest, LongNokNamesThePortTheSearchLeavesAlone) {
    struct Case {
        const char* situation;
        bool pluggedBeforeStart;
        bool manual;
        UiLanguage language;
        const char* hint;
    };
    const Case cases[] = {
        {"plugged before the start", true, false, UiLanguage::Russian, "переподключите прибор"},
        {"plugged before the start, English", true, false, UiLanguage::English,
         "replug the instrument"},
        {"no port at all", false, false, UiLanguage::Russian, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.situation);
        writeUserInt32(QStringLiteral("MANAGER/OPTIONS"), QStringLiteral("LANGUAGE"),
                       static_cast<int>(c.language));
        instrument.reset();
        if (c.pluggedBeforeStart) {
            plugIn(5);
        }
        window = std::make_unique<MainWindow>();
        window->FormCreate();
        ASSERT_NE(window->connection(), nullptr);
        dialogs.boxes.clear();
        const int enoughTicks = WindowConnection::kHintAfterNokTicks + 4;
        int ticks = 0;
        QObject::connect(&window->connectionTimer(), &QTimer::timeout, [&ticks] { ++ticks; });
        if (c.hint != nullptr) {
            ASSERT_TRUE(tickUntil([&] { return statusText().contains(QString::fromUtf8(c.hint)); }))
                << statusText().toStdString();
            EXPECT_TRUE(statusText().contains("COM 5"));
            EXPECT_TRUE(logMentions("COM 5 present since the start"));
            EXPECT_FALSE(window->connection()->flags().deviceConnected);
        } else {
            tickUntil([&] { return ticks >= enoughTicks; });
            EXPECT_FALSE(logMentions("present since the start"));
            EXPECT_TRUE(statusText().isEmpty()) << statusText().toStdString();
        }
    }
}

// The number dialog starts at the port in use, found by the automatic search, not at 1.
TEST_F(SmallTrapsTest, PortNumberDialogStartsAtTheCurrentPort) {
    window->FormCreate();
    ConnectionManager& manager = window->connection()->manager();
    manager.tick();  // watching, then the first scan: a port appearing after it counts as new
    manager.tick();
    plugIn(6);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            manager.tick();
            return window->connection()->flags().deviceConnected;
        },
        3000));
    widget<QAction>("MainMenu_Connection_Manual_Number")->trigger();  // cancelled
    EXPECT_EQ(dialogs.offered, QStringList{"6"});
}

// Choosing Local again changes the folder, starting where it is; Cancel keeps it; the caption
// names the folder in use in the interface language.
TEST_F(SmallTrapsTest, LocalFolderCanBeChangedByChoosingLocalAgain) {
    QTemporaryDir first;
    QTemporaryDir second;
    struct Step {
        const char* what;
        QString answer;  // empty: Cancel
        QString startsAt;
        QString folderAfter;
    };
    const Step steps[] = {
        {"first choice starts at home", first.path(), QDir::homePath(), first.path()},
        {"again: starts at the current folder", second.path(), first.path(), second.path()},
        {"cancelled: the folder stays", QString(), second.path(), second.path()},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (!step.answer.isEmpty()) {
            dialogs.fileAnswers.enqueue(step.answer);
        }
        widget<QAction>("MainMenu_Data_Source_Local")->trigger();
        EXPECT_EQ(dialogs.textsOf("folder").constLast(), step.startsAt);
        EXPECT_EQ(chosenSourceFolder(), step.folderAfter);
        EXPECT_TRUE(action("Action_Data_Source_Local")->isChecked());
        EXPECT_EQ(action("Action_Data_Source_Local")->text(),
                  "Локальный: " + QDir::toNativeSeparators(step.folderAfter));
    }
    window->ApplyLanguage(UiLanguage::English);
    EXPECT_EQ(action("Action_Data_Source_Local")->text(),
              "Local: " + QDir::toNativeSeparators(second.path()));
    EXPECT_EQ(shownText(widget<QAction>("MainMenu_Data_Source_Note")->text()),
              "The choice applies from the next start");
}

}  // namespace
}  // namespace verimant::test
