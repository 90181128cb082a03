// The GUI program: one main window for the whole run.
//
// VERIMANT_WINDOW_VIEW (for screenshots and demonstrations only): a comma-separated list of
// "ru" or "en" (interface language for this run, not stored) and "log" (show the log pane).

#include "base/user_dialogs.h"
#include "ui/busy_indicator.h"
#include "ui/device_language_dialog.h"
#include "ui/language_packet_dialog.h"
#include "ui/main_window.h"
#include "ui/window_dialogs.h"
#include "ui/window_upgrade.h"
#include "update/update_run.h"
#include "update/update_server.h"

#include <QApplication>
#include <QMessageBox>
#include <QProcessEnvironment>

#include <exception>

namespace {

// Exit status of a run that start-up ended (second copy, no folder, no configuration and the user
// said No, outdated tool that must stop, no serial-number base).
constexpr int kStartUpStopped = 1;

void applyRequestedView(verimant::MainWindow& window) {
    const QStringList view = QProcessEnvironment::systemEnvironment()
                                 .value(QStringLiteral("VERIMANT_WINDOW_VIEW"))
                                 .split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (view.contains(QStringLiteral("ru"))) {
        window.ApplyLanguage(verimant::UiLanguage::Russian);
    } else if (view.contains(QStringLiteral("en"))) {
        window.ApplyLanguage(verimant::UiLanguage::English);
    }
    if (view.contains(QStringLiteral("log"))) {
        window.SetLogVisible(true);
    }
}

// The report of the run goes to the update server at its end, from the tool's private folder
// only: a run that stopped before that folder was made has nowhere safe to write it, and skips it.
void uploadReportAtExit(verimant::UpdateRun& run) {
    if (run.tempFolder().isEmpty()) {
        return;
    }
    run.source().uploadReport(run.tempFolder() + QStringLiteral("/log.txt"), QStringLiteral("log4"),
                              QStringLiteral("rep.txt"));
}

// The window's life, from creation to destruction; leaving it destroys the window, so
// FormDestroy still reaches the user through it.
int runWindow(QApplication& app) {
    verimant::MainWindow window;
    verimant::installUserDialogs(&window.dialogs());
    verimant::installProgressView(&window.dialogs());
    window.setReportUpload(
        [&window](const verimant::ActivityLog&) { uploadReportAtExit(window.updateRun()); });
    window.FormCreate();
    if (window.terminationRequested()) {
        // Start-up stopped the run before the loop began: the window is destroyed unseen, and
        // its FormDestroy still logs the end of the run and sends the report.
        return kStartUpStopped;
    }
    // The language-packet, device-language and busy-indicator windows live, hidden until needed,
    // as long as the main window; they are created after it.
    verimant::LanguagePacketDialog packetDialog(&window);
    verimant::DeviceLanguageDialog deviceLanguageDialog(&window);
    verimant::BusyIndicator busyIndicator(&window);
    verimant::connectUpgradeWorkflow(window, packetDialog, deviceLanguageDialog, busyIndicator);
    applyRequestedView(window);
    window.show();
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The name the task bar and the window manager show for the program.
    QApplication::setApplicationName(QStringLiteral("Pelma DM"));
    // Ties the window to the installed menu entry, whose icon the desktop then shows for it.
    QGuiApplication::setDesktopFileName(QStringLiteral("verimant-manager"));

    int result = 1;
    try {
        result = runWindow(app);
    } catch (const std::exception& error) {
        // Whatever escapes start-up is shown, and the program ends.
        verimant::installUserDialogs(nullptr);
        QMessageBox::critical(nullptr,
                              verimant::PickText(QStringLiteral("Ошибка"), QStringLiteral("Error")),
                              QString::fromLocal8Bit(error.what()));
    }
    verimant::installUserDialogs(nullptr);
    verimant::installProgressView(nullptr);
    return result;
}
