#include "ui/main_window.h"

#include "base/log_banner.h"
#include "base/user_dialogs.h"
#include "device/write_cancel.h"
#include "ui/action_item.h"
#include "ui/bottom_panel.h"
#include "ui/choice_window.h"
#include "ui/data_source_setting.h"
#include "ui/icon_painter.h"
#include "ui/memo_log.h"
#include "ui/menu_bar_keys.h"
#include "ui/menu_bar_style.h"
#include "ui/ui_fonts.h"
#include "ui/verify_writes_setting.h"
#include "ui/window_connection.h"
#include "ui/window_dialogs.h"
#include "update/start_up.h"
#include "update/update_run.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

namespace verimant {

namespace {

constexpr int kDesignClientWidth = 752;
constexpr int kDesignClientHeight = 213;
constexpr int kWorkAreaMinimumWidth = 300;
constexpr int kWorkAreaMinimumHeight = 100;
constexpr int kSplitterWidth = 6;
constexpr int kButtonLeft = 24;
constexpr int kButtonBottomGap = 16;

// What start-up reaches of the window.
class WindowStartUp final : public StartUpWindow {
public:
    explicit WindowStartUp(MainWindow& window) : window_(window) {}

    void createDeviceLink() override { window_.createDeviceLink(); }
    void LoadLanguage() override { window_.ApplyLanguage(verimant::LoadLanguage()); }
    void SetLogVisible(bool visible) override { window_.SetLogVisible(visible); }
    void setCaption(const QString& caption) override { window_.setWindowTitle(caption); }
    void startConnectionTimer() override { window_.connectionTimer().start(); }
    void requestTermination() override { window_.requestTermination(); }

private:
    MainWindow& window_;
};

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Pelma Verimant Manager v1.0"));
    setWindowIcon(applicationIcon());
    setFont(windowBaseFont());

    actions_ = createMainActions(this, images_);
    auto* bar = new QMenuBar(this);
    auto* barStyle = new MenuBarStyle;
    barStyle->setParent(bar);  // outlives the bar's own teardown, which still uses it
    bar->setStyle(barStyle);
    setMenuBar(bar);
    new MenuBarKeys(bar);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildTopPanel(central), 1);
    bottomPanel_ = new BottomPanel(central);
    layout->addWidget(bottomPanel_);
    setCentralWidget(central);
    menus_ = buildMainMenus(bar, this, actions_);

    Timer_Connection_ = new QTimer(this);
    Timer_Connection_->setObjectName(QStringLiteral("Timer_Connection"));
    Timer_Connection_->setInterval(ConnectionManager::kTickIntervalMs);

    dialogs_ = std::make_unique<WindowDialogs>(this, bottomPanel_);
    updateRun_ = std::make_unique<UpdateRun>(log_);
    memoLog_->follow(log_);
    connectActions();

    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(qMax(kDesignClientWidth, kMinimumWidth),
           qMax(kDesignClientHeight + bar->sizeHint().height(), kMinimumHeight));
    ApplyLanguage(uiLanguage());
}

MainWindow::~MainWindow() {
    FormDestroy();
}

QWidget* MainWindow::buildTopPanel(QWidget* parent) {
    auto* top = new QWidget(parent);
    top->setObjectName(QStringLiteral("Panel_Top"));
    splitter_ = new QSplitter(Qt::Horizontal, top);
    splitter_->setObjectName(QStringLiteral("Panel_Top_Splitter"));
    splitter_->setHandleWidth(kSplitterWidth);
    splitter_->setOpaqueResize(true);
    splitter_->setChildrenCollapsible(false);
    splitter_->addWidget(buildWorkArea(splitter_));
    splitter_->addWidget(buildLogGroup(splitter_));
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 0);
    // The handle between the work area and the log group is the splitter control Splitter_Log:
    // it sits at the log group's left edge and is shown and hidden with the log.
    splitterHandle_ = splitter_->handle(1);
    splitterHandle_->setObjectName(QStringLiteral("Splitter_Log"));
    splitterHandle_->hide();
    auto* layout = new QHBoxLayout(top);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter_);
    return top;
}

QWidget* MainWindow::buildWorkArea(QWidget* parent) {
    workArea_ = new QWidget(parent);
    workArea_->setObjectName(QStringLiteral("Panel_Main"));
    workArea_->setMinimumSize(kWorkAreaMinimumWidth, kWorkAreaMinimumHeight);
    workArea_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(workArea_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { menus_.PopupMenu1->popup(workArea_->mapToGlobal(at)); });

    infoStrip_ = new InfoStrip(workArea_);
    upgradeButton_ = new QPushButton(QStringLiteral("Обновление"), workArea_);
    upgradeButton_->setObjectName(QStringLiteral("BitBtn_ReNewDeviceInfo"));
    upgradeButton_->setFixedSize(129, 25);
    connect(upgradeButton_, &QPushButton::clicked, this, &MainWindow::BitBtn_ReNewDeviceInfoClick);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addSpacing(kButtonLeft);
    buttonRow->addWidget(upgradeButton_);
    buttonRow->addStretch(1);
    auto* layout = new QVBoxLayout(workArea_);
    layout->setContentsMargins(0, 0, 0, kButtonBottomGap);
    layout->setSpacing(0);
    layout->addWidget(infoStrip_);
    layout->addStretch(1);
    layout->addLayout(buttonRow);
    return workArea_;
}

QGroupBox* MainWindow::buildLogGroup(QWidget* parent) {
    logGroup_ = new QGroupBox(QStringLiteral("Лог"), parent);
    logGroup_->setObjectName(QStringLiteral("GroupBox_Log"));
    logGroup_->setMinimumWidth(kLogMinimumWidth);
    logGroup_->setMaximumWidth(kLogMaximumWidth);
    memoLog_ = new MemoLog(logGroup_);
    memoLog_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(memoLog_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        menus_.PopupMenu_Log->popup(memoLog_->viewport()->mapToGlobal(at));
    });
    auto* layout = new QVBoxLayout(logGroup_);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(memoLog_);
    logGroup_->hide();
    logGroup_->installEventFilter(this);
    return logGroup_;
}

void MainWindow::connectActions() {
    connect(actions_.Action_Log_Visible, &QAction::triggered, this,
            &MainWindow::Action_Log_VisibleExecute);
    connect(actions_.Action_LOG_Clear, &QAction::triggered, this,
            &MainWindow::Action_LOG_ClearExecute);
    connect(actions_.Action_Exit, &QAction::triggered, this, &MainWindow::Action_ExitExecute);
    connect(actions_.Action_Language, &QAction::triggered, this,
            &MainWindow::Action_LanguageExecute);
    bindVerifyWritesSetting(actions_.Action_Verify_Writes);
}

void MainWindow::FormCreate() {
    WindowStartUp window(*this);
    updateRun_->useFolderSource(chosenSourceFolder());
    runStartUp(window, instanceLock_, *updateRun_);
}

void MainWindow::createDeviceLink() {
    if (!connection_) {
        connection_ = std::make_unique<WindowConnection>(*this);
    }
}

void MainWindow::requestTermination() {
    terminationRequested_ = true;
    // Only a running loop hears this; before the loop the program looks at the flag instead.
    QCoreApplication::quit();
}

void MainWindow::FormDestroy() {
    if (destroyed_) {
        return;
    }
    destroyed_ = true;
    // A second instance never held the lock; releasing it is then a no-op.
    instanceLock_.release();
    log_.AddLine(endBannerLine());
    log_.AddLine(logSeparatorLine());
    if (reportUpload_) {
        reportUpload_(log_);
    }
    updateRun_->release();
    if (runRelease_) {
        runRelease_();
    }
}

void MainWindow::setPanelComText(const QString& text) {
    bottomPanel_->setComText(text);
}

void MainWindow::setPanelConnection(const QString& text, const QColor& background) {
    bottomPanel_->setConnectionState(text, background);
}

void MainWindow::setBottomInfoText(const QString& text) {
    bottomPanel_->setInfoText(text);
}

void MainWindow::setBottomProgress(int percent) {
    bottomPanel_->setProgress(percent);
}

void MainWindow::setInfoField(InfoField field, const QString& text) {
    infoStrip_->setFieldText(field, text);
}

void MainWindow::setDeviceInfoCaption(const QString& caption) {
    infoStrip_->deviceGroup()->setTitle(caption);
}

void MainWindow::SetLogVisible(bool visible) {
    splitterHandle_->hide();
    logGroup_->setVisible(visible);
    if (visible && !logWidthApplied_) {
        applyInitialLogWidth();
    }
    splitterHandle_->setVisible(visible);
    Action_Log_VisibleUpdate();
}

void MainWindow::applyInitialLogWidth() {
    logWidthApplied_ = true;
    const int room = qMax(splitter_->width(), kMinimumWidth) - kSplitterWidth;
    splitter_->setSizes({room - kLogInitialWidth, kLogInitialWidth});
}

bool MainWindow::logVisible() const {
    return !logGroup_->isHidden();
}

void MainWindow::setDeviceConnectedQuery(std::function<bool()> query) {
    deviceConnected_ = std::move(query);
}

void MainWindow::setUpgradeWorkflow(std::function<void()> workflow) {
    upgradeWorkflow_ = std::move(workflow);
}

void MainWindow::setReportUpload(std::function<void(const ActivityLog&)> upload) {
    reportUpload_ = std::move(upload);
}

void MainWindow::setRunRelease(std::function<void()> release) {
    runRelease_ = std::move(release);
}

void MainWindow::BitBtn_ReNewDeviceInfoClick() {
    if (upgrading_ || !deviceConnected_ || !deviceConnected_()) {
        return;
    }
    // Disabled for the whole workflow: its waits keep the window responsive, and a second
    // press must not start a second upgrade.
    upgradeButton_->setEnabled(false);
    upgrading_ = true;
    if (connection_) {
        // A press can arrive inside the connection check's wait; the workflow must not run
        // under that check, or no check runs while the instrument restarts.
        connection_->manager().runOutsideTick([this] { runUpgrade(); });
    } else {
        runUpgrade();
    }
}

void MainWindow::runUpgrade() {
    if (!deviceConnected_()) {
        // The check the press waited for lost the instrument: a press without one.
        upgrading_ = false;
        upgradeButton_->setEnabled(true);
        return;
    }
    // A port chosen now would move the link under a writer.
    setConnectionChoicesEnabled(false);
    if (upgradeWorkflow_) {
        upgradeWorkflow_();
    }
    // A stop asked for belongs to this run; the next one starts without it.
    clearRunStop();
    upgrading_ = false;
    setConnectionChoicesEnabled(true);
    upgradeButton_->setEnabled(true);
    // Every upgrade ends the run, whatever its outcome.
    executeAction(actions_.Action_Exit);
}

void MainWindow::setConnectionChoicesEnabled(bool enabled) {
    for (QAction* choice : {actions_.Action_Connection_Auto, actions_.Action_Connection_Manual,
                            actions_.Action_Connection_Manual_Number}) {
        choice->setEnabled(enabled);
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!upgrading_) {
        QMainWindow::closeEvent(event);
        return;
    }
    // An operator who sees the tool gone unplugs the instrument in the middle of a write.
    event->ignore();
    askToStopUpgrade();
}

void MainWindow::askToStopUpgrade() {
    if (stopQuestionOpen_ || runStopRequested()) {
        return;
    }
    // Before the writes begin and after they end nothing is at stake: closing cancels the run
    // as the choice windows' cancel does, without a question.
    if (!runWriting()) {
        log_.AddLastingLine(
            QStringLiteral("==>Window closed during the upgrade: upgrade cancelled"));
        requestRunStop();
        cancelOpenChoices();
        return;
    }
    stopQuestionOpen_ = true;
    QWidget* const active = QApplication::activeWindow();
    const bool stop = userDialogs().askWarningYesNo(
        PickText(QStringLiteral("Идёт обновление прибора. Прервать после текущего шага?"),
                 QStringLiteral("The instrument is being updated. Stop after the current step?")));
    stopQuestionOpen_ = false;
    if (active != nullptr) {
        active->activateWindow();
    }
    // The run may have ended while the question was open; a stop raised then would outlive it.
    if (stop && upgrading_) {
        log_.AddLastingLine(
            QStringLiteral("==>Window closed during the upgrade: stop after this step"));
        requestRunStop();
    }
}

void MainWindow::cancelOpenChoices() {
    for (ChoiceWindow* choice : findChildren<ChoiceWindow*>()) {
        if (choice->isChoiceOpen()) {
            static_cast<QDialog*>(choice)->reject();
        }
    }
}

void MainWindow::Action_Log_VisibleExecute() {
    SetLogVisible(!logVisible());
}

void MainWindow::Action_Log_VisibleUpdate() {
    // The caption names what a click will do.
    QAction* toggle = actions_.Action_Log_Visible;
    if (logVisible()) {
        toggle->setText(PickText(QStringLiteral("Cкрыть лог"), QStringLiteral("Hide Report")));
        toggle->setIcon(images_.icon(ImageList::BookGrey));
    } else {
        toggle->setText(PickText(QStringLiteral("Показать лог"), QStringLiteral("Show Report")));
        toggle->setIcon(images_.icon(ImageList::Book));
    }
}

void MainWindow::Action_LOG_ClearExecute() {
    log_.clear();
}

void MainWindow::Action_ExitExecute() {
    close();
}

void MainWindow::Action_LanguageExecute() {
    ApplyLanguage(uiLanguage() == UiLanguage::Russian ? UiLanguage::English : UiLanguage::Russian);
    StoreLanguage();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == logGroup_ &&
        (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)) {
        Action_Log_VisibleUpdate();
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace verimant
