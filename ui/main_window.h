#pragma once

#include "base/activity_log.h"
#include "base/ui_language.h"
#include "platform/instance_lock.h"
#include "ui/action_table.h"
#include "ui/image_list.h"
#include "ui/info_groups.h"
#include "ui/main_menus.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <memory>

class QGroupBox;
class QPushButton;
class QSplitter;
class QSplitterHandle;

namespace verimant {

class BottomPanel;
class MemoLog;
class UpdateRun;
class WindowConnection;
class WindowDialogs;

// Form1, the tool's one main window: the link state in the status bar, what the instrument reports
// about itself, the upgrade button, and the log pane that can be shown or hidden. It owns the
// run's log and single-instance lock; the pieces that do the work are plugged in through the
// setters below. Everything here runs on the GUI thread.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kMinimumWidth = 768;
    static constexpr int kMinimumHeight = 272;
    static constexpr int kLogMinimumWidth = 100;
    static constexpr int kLogMaximumWidth = 500;
    static constexpr int kLogInitialWidth = 254;

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Lifecycle. FormCreate runs the start-up sequence: device link, stored language, single
    // instance, hidden log, temporary folder, configuration, self-version check, caption,
    // serial-number base, and last the connection timer. FormDestroy ends the run (lock, closing
    // banner, report, the run's objects) and runs once, at the latest from the destructor.
    void FormCreate();
    void FormDestroy();
    // Start-up stopped the run: the message loop quits, and is not entered when it has not begun.
    void requestTermination();
    bool terminationRequested() const { return terminationRequested_; }
    // The device link; FormCreate makes it, once.
    void createDeviceLink();

    ActivityLog& activityLog() { return log_; }
    SingleInstanceLock& instanceLock() { return instanceLock_; }
    QTimer& connectionTimer() { return *Timer_Connection_; }  // Timer_Connection
    const MainActions& actions() const { return actions_; }
    const MainMenus& menus() const { return menus_; }
    const ImageList& imageList() const { return images_; }
    // The message boxes and status-bar progress for the logic below the window.
    WindowDialogs& dialogs() { return *dialogs_; }
    // The device link with its connection manager, driven by Timer_Connection; created by
    // FormCreate, nullptr before.
    WindowConnection* connection() { return connection_.get(); }
    // The run's update side: server client, configuration, serial-number base, temporary folder.
    UpdateRun& updateRun() { return *updateRun_; }

    // Status bar.
    void setPanelComText(const QString& text);
    void setPanelConnection(const QString& text, const QColor& background);
    void setBottomInfoText(const QString& text);
    void setBottomProgress(int percent);
    BottomPanel& bottomPanel() { return *bottomPanel_; }

    // Device and software information.
    void setInfoField(InfoField field, const QString& text);
    void setDeviceInfoCaption(const QString& caption);

    // Log pane.
    void SetLogVisible(bool visible);
    bool logVisible() const;

    // Writes the language's texts into the translated controls and the toggle.
    void ApplyLanguage(UiLanguage language);

    // Plug-in points. Until set: no instrument counts as connected, the upgrade does nothing,
    // no report is sent and nothing beyond the update side is released.
    void setDeviceConnectedQuery(std::function<bool()> query);
    void setUpgradeWorkflow(std::function<void()> workflow);
    void setReportUpload(std::function<void(const ActivityLog&)> upload);
    void setRunRelease(std::function<void()> release);

    // Handlers, callable as the controls call them.
    void BitBtn_ReNewDeviceInfoClick();
    void Action_Log_VisibleExecute();
    void Action_Log_VisibleUpdate();
    void Action_LOG_ClearExecute();
    void Action_ExitExecute();
    void Action_LanguageExecute();

    // Whether the upgrade workflow is running (from the button's press to its end).
    bool upgrading() const { return upgrading_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // While the upgrade runs, a close request hides nothing: it asks whether to stop after the
    // current step. The workflow's waits run the event loop, so this arrives inside them.
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildWorkArea(QWidget* parent);
    QGroupBox* buildLogGroup(QWidget* parent);
    QWidget* buildTopPanel(QWidget* parent);
    void connectActions();
    void applyInitialLogWidth();
    void runUpgrade();
    void setConnectionChoicesEnabled(bool enabled);
    void askToStopUpgrade();
    void cancelOpenChoices();

    ImageList images_;
    ActivityLog log_;
    SingleInstanceLock instanceLock_;
    MainActions actions_;
    MainMenus menus_;
    QTimer* Timer_Connection_ = nullptr;
    BottomPanel* bottomPanel_ = nullptr;
    InfoStrip* infoStrip_ = nullptr;
    QPushButton* upgradeButton_ = nullptr;
    QWidget* workArea_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QSplitterHandle* splitterHandle_ = nullptr;
    QGroupBox* logGroup_ = nullptr;
    MemoLog* memoLog_ = nullptr;
    std::unique_ptr<WindowDialogs> dialogs_;
    std::unique_ptr<WindowConnection> connection_;
    std::unique_ptr<UpdateRun> updateRun_;

    std::function<bool()> deviceConnected_;
    std::function<void()> upgradeWorkflow_;
    std::function<void(const ActivityLog&)> reportUpload_;
    std::function<void()> runRelease_;
    bool logWidthApplied_ = false;
    bool destroyed_ = false;
    bool terminationRequested_ = false;
    bool upgrading_ = false;
    bool stopQuestionOpen_ = false;
};

}  // namespace verimant
