// One press of "Обновление" in the real main window: start-up against a real FTP server with the
// demo update set, the simulated instrument found by the window's own connection timer, and every
// box and small window answered by a script that acts as the operator does.

#include "link/connection_manager.h"
#include "platform/setting_store.h"
#include "sim/pty_instrument.h"
#include "tests/device/sealed_firmware_region.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/sim_versions.h"
#include "tests/support/test_environment.h"
#include "tests/support/update_set_folder.h"
#include "ui/busy_indicator.h"
#include "ui/device_language_dialog.h"
#include "ui/language_packet_dialog.h"
#include "ui/main_window.h"
#include "ui/window_connection.h"
#include "ui/window_dialogs.h"
#include "ui/window_upgrade.h"
#include "update/update_run.h"
#include "update/update_server.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace verimant::test {
namespace {

constexpr std::uint32_t kMainStart = 0x08004000;
constexpr std::uint32_t kChecksumAddress = kMainStart + 0x10000 - 4;

QWidget* visibleTopLevel(const char* name) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->objectName() == QLatin1String(name)) {
            return widget;
        }
    }
    return nullptr;
}

QString boxKind(const QMessageBox& box) {
    switch (box.icon()) {
        case QMessageBox::Question:
            return QStringLiteral("question");
        case QMessageBox::Information:
            return QStringLiteral("information");
        case QMessageBox::Critical:
            return QStringLiteral("error");
        default:
            return QStringLiteral("warning");
    }
}

// Answers what the upgrade shows, one thing per look, as an operator would: Enter in every box
// and in the packet window, and a chosen language in the device-language window. With a folder
// for pictures (VERIMANT_SCREENSHOT_DIR, under a real display) it photographs each stage first.
class ScriptedOperator {
public:
    ScriptedOperator(MainWindow& window, int languageIndex)
        : window_(window),
          languageIndex_(languageIndex),
          shotDir_(qEnvironmentVariable("VERIMANT_SCREENSHOT_DIR")) {
        // A look waits one round after something appears, so it is painted when photographed.
        timer_.setInterval(shotDir_.isEmpty() ? 50 : 400);
        QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
        timer_.start();
    }

    void shoot(const QString& name) {
        if (shotDir_.isEmpty()) {
            return;
        }
        // The boxes and small windows lie over the main window.
        const QRect area = window_.frameGeometry();
        QScreen* screen = QGuiApplication::primaryScreen();
        const QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        EXPECT_TRUE(shot.save(shotDir_ + QStringLiteral("/upgrade-") + name + ".png"))
            << name.toStdString();
    }

    QStringList boxes;                    // kind + ": " + text, in order
    QStringList smallWindows;             // Form2, Form4 in the order they came
    bool buttonEnabledMeanwhile = false;  // at any look while the upgrade ran
    bool busyShownWhileWriting = false;

private:
    void look() {
        QPushButton* button = window_.findChild<QPushButton*>("BitBtn_ReNewDeviceInfo");
        buttonEnabledMeanwhile = buttonEnabledMeanwhile || button->isEnabled();
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (settle(box)) {
                answerBox(*box);
            }
            return;
        }
        if (QWidget* packets = visibleTopLevel("Form2")) {
            if (settle(packets)) {
                smallWindows << "Form2";
                shoot("2-packet");
                QTest::keyClick(packets, Qt::Key_Return);
            }
            return;
        }
        if (QWidget* languages = visibleTopLevel("Form4")) {
            // The choice is made on the first look and confirmed, once painted, on the second.
            if (!settle(languages)) {
                languages->findChild<QComboBox*>("ComboBox1")->setCurrentIndex(languageIndex_);
            } else {
                smallWindows << "Form4";
                shoot("6-language");
                QTest::mouseClick(languages->findChild<QPushButton*>("BitBtn2"), Qt::LeftButton);
            }
            return;
        }
        // The busy sign over a write in progress, once the status bar shows how far it is.
        const auto* status = window_.findChild<QLabel*>("Panel_Bottom_Info_Text");
        if (visibleTopLevel("Form3") && consented_ && !busyShownWhileWriting && status != nullptr &&
            !status->text().isEmpty()) {
            busyShownWhileWriting = true;
            shoot("4-busy");
        }
    }

    // True on the second look at the same thing.
    bool settle(QWidget* seen) {
        if (seen != lastSeen_) {
            lastSeen_ = seen;
            return false;
        }
        lastSeen_ = nullptr;
        return true;
    }

    void answerBox(QMessageBox& box) {
        const QString kind = boxKind(box);
        boxes << kind + QStringLiteral(": ") + box.text();
        if (kind == QLatin1String("question")) {
            consented_ = true;
            shoot("3-consent");
        } else if (box.text().startsWith(QStringLiteral("Поздравляем"))) {
            shoot("5-success");
        }
        QTest::keyClick(&box, Qt::Key_Return);
    }

    MainWindow& window_;
    int languageIndex_;
    QString shotDir_;
    QTimer timer_;
    QWidget* lastSeen_ = nullptr;
    bool consented_ = false;
};

class UpgradeWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        writeUserInt32(QStringLiteral("MANAGER/OPTIONS"), QStringLiteral("LANGUAGE"), 1);
        writeUserInt32(QStringLiteral("MANAGER/OPTIONS"), QStringLiteral("VERIFY_WRITES"), 0);
        ASSERT_TRUE(set.copyDemoSet());
        QString why;
        ASSERT_TRUE(server.start(&why)) << why.toStdString();
        server.exportToEnvironment();
    }

    // The window as the window program builds it: start-up, the three small windows, the
    // upgrade on the button, the report at the end.
    void openWindow() {
        window = std::make_unique<MainWindow>();
        installUserDialogs(&window->dialogs());
        installProgressView(&window->dialogs());
        MainWindow* w = window.get();
        window->setReportUpload([w](const ActivityLog&) {
            UpdateRun& run = w->updateRun();
            run.server().uploadReport(run.tempFolder() + "/log.txt", "log4", "rep.txt");
        });
        window->FormCreate();
        ASSERT_FALSE(window->terminationRequested());
        packets = std::make_unique<LanguagePacketDialog>(window.get());
        languages = std::make_unique<DeviceLanguageDialog>(window.get());
        busy = std::make_unique<BusyIndicator>(window.get());
        connectUpgradeWorkflow(*window, *packets, *languages, *busy);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void closeWindow() {
        packets.reset();
        languages.reset();
        busy.reset();
        window.reset();
        installUserDialogs(nullptr);
        installProgressView(nullptr);
    }

    // Plugged in once the window watches the ports, as an operator plugs it in.
    void plugInInstrument() {
        QTest::qWait(1200);
        sim::InstrumentConfig config;
        config.checksumWordAddress = kChecksumAddress;
        sim::PtyInstrumentOptions options;
        options.portNumber = 7;
        options.resetDelayMs = 300;
        instrument = std::make_unique<sim::PtyInstrument>(config, options);
        ASSERT_TRUE(instrument->start());
        ASSERT_TRUE(QTest::qWaitFor(
            [this] { return window->connection()->flags().deviceConnected; }, 10000));
    }

    UpdateSetFolder set{testRootDir() + "/server"};
    FtpTestServer server{set.root()};
    std::unique_ptr<sim::PtyInstrument> instrument;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<LanguagePacketDialog> packets;
    std::unique_ptr<DeviceLanguageDialog> languages;
    std::unique_ptr<BusyIndicator> busy;
};

TEST_F(UpgradeWindowTest, OnePressUpgradesTheInstrumentSetsItsLanguageClosesAndReports) {
    openWindow();
    plugInInstrument();
    auto* button = window->findChild<QPushButton*>("BitBtn_ReNewDeviceInfo");
    ASSERT_NE(button, nullptr);
    ScriptedOperator user(*window, 0);  // Русский; the instrument shows English (1)
    user.shoot("1-button");
    window->findChild<QAction*>("MainMenu_Verify_Writes")->trigger();

    QTest::mouseClick(button, Qt::LeftButton);

    EXPECT_FALSE(window->isVisible());  // the tool closes after every upgrade
    EXPECT_FALSE(user.buttonEnabledMeanwhile);
    EXPECT_TRUE(button->isEnabled());
    EXPECT_TRUE(user.busyShownWhileWriting);
    EXPECT_EQ(user.smallWindows, QStringList({"Form2", "Form4"}));
    EXPECT_EQ(user.boxes,
              QStringList({"question: Доступны обновления :\nKMT2 [2.3] --> [3.2]\nEFL  [1.5] --> "
                           "[1.6]\nВыполнить обновление сейчас?",
                           "information: Поздравляем!!!\nОбновление успешно завершено!",
                           "information: Установлен язык прибора [Русский]"}))
        << user.boxes.join("\n").toStdString();

    const QByteArray data = set.file("verimant_efl_ru_en_1_6.bin");
    const QByteArray region =
        sealedFirmwareRegion(set.file("verimant_kmt2_3_2.hex"), kMainStart, kChecksumAddress);
    ASSERT_FALSE(region.isEmpty());
    instrument->withInstrument([&](sim::Instrument& device) {
        EXPECT_TRUE(device.externalFlash().read(0, int(data.size())) == data);
        EXPECT_TRUE(device.processorFlash().read(kMainStart, int(region.size())) == region);
        EXPECT_EQ(device.parameter(6).value_or(-1), 0);
        EXPECT_EQ(device.mode(), sim::InstrumentMode::MainFirmware);
    });

    closeWindow();
    const QByteArray report = set.file("log4/1_23/45xxx/6xx/rep.txt");
    EXPECT_TRUE(report.contains("==>Update_KMT2")) << report.toStdString();
    EXPECT_EQ(report.count("# \xcf\xd0\xce\xc2\xc5\xd0\xca\xc0: OK"), 2)  // both writes read back
        << report.toStdString();
    EXPECT_TRUE(report.contains("END: "));
}

// A press that arrives while the connection check waits for its echo (a late answer here, a busy
// window in the field) once ran the whole upgrade inside that check: no later check could run, the
// panel stayed "= OK =" and the instrument, back in its boot loader, was never found again.
TEST_F(UpgradeWindowTest, PressDuringTheConnectionCheckStillFindsTheRestartedInstrument) {
    openWindow();
    plugInInstrument();
    auto* button = window->findChild<QPushButton*>("BitBtn_ReNewDeviceInfo");
    const ConnectionManager& manager = window->connection()->manager();
    ScriptedOperator user(*window, 0);
    sim::SimFaults late;
    late.lateMs = 100;
    instrument->setFaults(late);
    bool pressed = false;
    QTimer presser;
    QObject::connect(&presser, &QTimer::timeout, [&] {
        if (manager.busy()) {
            presser.stop();
            instrument->setFaults({});
            pressed = true;
            QTest::mouseClick(button, Qt::LeftButton);
        }
    });
    presser.start(5);

    ASSERT_TRUE(QTest::qWaitFor([&] { return pressed; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 120000));
    EXPECT_TRUE(user.boxes.contains("information: Поздравляем!!!\nОбновление успешно завершено!"))
        << user.boxes.join("\n").toStdString();
    instrument->withInstrument([](sim::Instrument& device) {
        EXPECT_EQ(device.mode(), sim::InstrumentMode::MainFirmware);
    });
    closeWindow();
}

struct CloseDuringStep {
    const char* step;
    std::function<bool(MainWindow&)> reached;
    bool asked;            // writes were under way: the operator is asked first
    bool firmwareWritten;  // the main firmware was begun, and so is written whole
};

// Closing the window at each step of the upgrade: before the writes it cancels at once; during
// them the operator is asked, and a Yes ends the run where the instrument is safe: in its main
// firmware, whole (old or new), with a data image that never reports the new version unless whole.
TEST_F(UpgradeWindowTest, ClosingAtEachStepEndsWithTheInstrumentInItsMainFirmware) {
    const auto status = [](MainWindow& w) {
        return w.findChild<QLabel*>("Panel_Bottom_Info_Text")->text();
    };
    const std::vector<CloseDuringStep> steps = {
        {"packet choice", [](MainWindow&) { return visibleTopLevel("Form2") != nullptr; }, false,
         false},
        {"switch into the boot loader",
         [](MainWindow& w) { return w.activityLog().lines().last() == "==>Device_goto_BOOT mode"; },
         true, false},
        {"main-firmware write", [&](MainWindow& w) { return status(w).contains("KMT2"); }, true,
         true},
        {"data write", [&](MainWindow& w) { return status(w).contains("EFL"); }, true, true},
    };
    const QByteArray region =
        sealedFirmwareRegion(set.file("verimant_kmt2_3_2.hex"), kMainStart, kChecksumAddress);
    for (const CloseDuringStep& step : steps) {
        SCOPED_TRACE(step.step);
        QDir(set.root() + "/log4").removeRecursively();
        openWindow();
        plugInInstrument();
        ScriptedOperator user(*window, 0);
        // A slow line, so that each close lands inside its step.
        sim::SimFaults slow;
        slow.lateMs = 15;
        instrument->setFaults(slow);
        instrument->setLinkListener(
            [this, slow](bool present, const QString&, sim::InstrumentMode) {
                if (present) {
                    instrument->setFaults(slow);
                }
            });
        bool closed = false;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (!closed && step.reached(*window)) {
                closed = true;
                window->close();
            }
        });
        closer.start(5);

        QTest::mouseClick(window->findChild<QPushButton*>("BitBtn_ReNewDeviceInfo"),
                          Qt::LeftButton);

        ASSERT_TRUE(closed);
        EXPECT_FALSE(window->isVisible()) << "the run ends once the workflow has stopped";
        const QString question =
            QStringLiteral("warning: Идёт обновление прибора. Прервать после текущего шага?");
        EXPECT_EQ(user.boxes.contains(question), step.asked) << user.boxes.join("\n").toStdString();
        EXPECT_FALSE(
            user.boxes.contains("information: Поздравляем!!!\nОбновление успешно завершено!"));
        instrument->setLinkListener({});
        instrument->withInstrument([&](sim::Instrument& device) {
            EXPECT_EQ(device.mode(), sim::InstrumentMode::MainFirmware);
            const bool newFirmware =
                device.processorFlash().read(kMainStart, int(region.size())) == region;
            EXPECT_EQ(newFirmware, step.firmwareWritten);
            EXPECT_EQ(device.reportedMainVersion(), step.firmwareWritten ? 0x0302 : 0x0203);
            EXPECT_NE(simEflVersion(device), 0x0106) << "the data write never ends here";
        });
        closeWindow();
        const QByteArray report = set.file("log4/1_23/45xxx/6xx/rep.txt");
        EXPECT_TRUE(
            report.contains(step.asked ? "==>Window closed during the upgrade: stop after this step"
                                       : "==>Window closed during the upgrade: upgrade cancelled"))
            << report.toStdString();
        instrument.reset();
    }
}

TEST_F(UpgradeWindowTest, WithoutAConnectedInstrumentTheButtonDoesNothing) {
    openWindow();
    QTest::mouseClick(window->findChild<QPushButton*>("BitBtn_ReNewDeviceInfo"), Qt::LeftButton);
    EXPECT_TRUE(window->isVisible());
    closeWindow();
}

}  // namespace
}  // namespace verimant::test
