// The real main window starting against a real FTP server with the demo update set.
#include "platform/instance_lock.h"
#include "platform/setting_store.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_environment.h"
#include "ui/main_window.h"
#include "update/serial_number_base.h"
#include "update/start_up.h"
#include "update/update_run.h"
#include "update/update_server.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>

#include <algorithm>

#include <memory>

namespace verimant::test {
namespace {

class StartUpWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        writeUserInt32(QStringLiteral("MANAGER/OPTIONS"), QStringLiteral("LANGUAGE"), 1);
        const QString set = QStringLiteral(VERIMANT_SOURCE_DIR "/examples/update-server");
        serverRoot = testRootDir() + "/server";
        QDir().mkpath(serverRoot);
        for (const QString& name : QDir(set).entryList(QDir::Files)) {
            ASSERT_TRUE(QFile::copy(set + "/" + name, serverRoot + "/" + name));
        }
        QString why;
        ASSERT_TRUE(ftp.start(&why)) << why.toStdString();
        ftp.exportToEnvironment();
    }

    // A window whose end sends the report as the window program does.
    std::unique_ptr<MainWindow> makeWindow() {
        auto window = std::make_unique<MainWindow>();
        MainWindow* w = window.get();
        window->setReportUpload([w](const ActivityLog&) {
            UpdateRun& run = w->updateRun();
            if (!run.tempFolder().isEmpty()) {
                run.source().uploadReport(run.tempFolder() + "/log.txt", "log4", "rep.txt");
            }
        });
        return window;
    }

    QString serverReport() const {
        QFile file(serverRoot + "/log4/__no_number/rep.txt");
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
    }

    QString serverRoot;
    FtpTestServer ftp{testRootDir() + "/server"};
    ScriptedDialogs dialogs;
};

TEST_F(StartUpWindowTest, StartsWithCaptionHiddenLogAndRunningTimerThenReportsAtTheEnd) {
    auto window = makeWindow();
    window->FormCreate();
    EXPECT_TRUE(dialogs.boxes.isEmpty());
    EXPECT_EQ(window->windowTitle(), "Pelma Verimant Manager 1.2.19 (29.06.2026)");
    EXPECT_TRUE(window->connectionTimer().isActive());
    EXPECT_FALSE(window->logVisible());

    window.reset();
    const QString report = serverReport();
    EXPECT_TRUE(report.contains("APP VERSION = 1.2.19\n")) << report.toStdString();
    EXPECT_TRUE(report.contains("\nEND: "));
}

TEST_F(StartUpWindowTest, SecondCopyWarnsEndsAndStillClosesItsLogWithoutTouchingTheFirst) {
    auto first = makeWindow();
    first->FormCreate();
    ASSERT_TRUE(first->instanceLock().held());
    const QString firstFolder = first->updateRun().tempFolder();
    const QStringList firstFiles = QDir(firstFolder).entryList(QDir::Files);

    auto second = makeWindow();
    second->FormCreate();
    EXPECT_TRUE(second->terminationRequested());
    EXPECT_FALSE(second->connectionTimer().isActive());

    const ActivityLog& log = second->activityLog();
    second->FormDestroy();
    ASSERT_EQ(log.lines().size(), 2);
    EXPECT_TRUE(log.lines().at(0).startsWith("END: "));
    EXPECT_EQ(log.lines().at(1), QString(40, '='));
    // Its report had no folder of its own: nothing went to the server, nothing into the first
    // copy's folder, and the first copy still holds the lock.
    EXPECT_TRUE(serverReport().isEmpty());
    EXPECT_EQ(QDir(firstFolder).entryList(QDir::Files), firstFiles);
    SingleInstanceLock third;
    EXPECT_FALSE(third.acquire(QString::fromLatin1(kSingleInstanceName)));
}

// The Local choice made in the menu is what the next start reads from: no server is asked, the
// report lands in the folder; a folder without the configuration asks as an unreachable server
// does and names the folder.
TEST_F(StartUpWindowTest, LocalChoiceStartsFromTheFolderWithoutTheServer) {
    ftp.stop();
    const QString folder = serverRoot;
    dialogs.fileAnswers.enqueue(folder);
    MainWindow().findChild<QAction*>("MainMenu_Data_Source_Local")->trigger();
    auto window = makeWindow();
    window->FormCreate();
    EXPECT_TRUE(dialogs.textsOf("warning question").isEmpty());
    EXPECT_TRUE(dialogs.textsOf("error").isEmpty())
        << dialogs.textsOf("error").join(u'|').toStdString();
    EXPECT_TRUE(window->connectionTimer().isActive());
    EXPECT_GT(window->updateRun().base().recordCount(), 0);
    EXPECT_TRUE(window->activityLog().lines().contains("DATA SOURCE = LOCAL [" + folder + "]"));
    window.reset();
    QFile report(folder + "/log4/__no_number/rep.txt");
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    EXPECT_TRUE(report.readAll().contains("APP VERSION = 1.2.19\n"));

    ASSERT_TRUE(QFile::remove(folder + "/verimant_version_3.ini"));
    window = makeWindow();
    window->FormCreate();
    EXPECT_EQ(dialogs.textsOf("warning question").size(), 1);
    EXPECT_TRUE(window->terminationRequested());
    const QStringList lines = window->activityLog().lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&folder](const QString& line) {
        return line.contains(folder + "/verimant_version_3.ini");
    })) << lines.join('\n').toStdString();
}

}  // namespace
}  // namespace verimant::test
