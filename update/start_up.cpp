#include "update/start_up.h"

#include "base/activity_log.h"
#include "base/file_helpers.h"
#include "base/log_banner.h"
#include "base/ui_language.h"
#include "base/user_dialogs.h"
#include "platform/instance_lock.h"
#include "platform/open_address.h"
#include "platform/temp_folder.h"
#include "update/signature_policy.h"
#include "update/update_config.h"
#include "update/update_run.h"
#include "update/update_source.h"
#include "update/version_codes.h"

#include <QDateTime>
#include <QUrl>

namespace verimant {

namespace {

// Where an outdated tool sends its user when the configuration names no address.
const QString kDefaultUpgradeUrl = QStringLiteral("https://www.pelma.example/verimant/manager/");

// One pass of FormCreate. Each step returns false once it has asked for termination.
class StartUp {
public:
    StartUp(StartUpWindow& window, SingleInstanceLock& lock, UpdateRun& run)
        : window_(window), lock_(lock), run_(run), log_(run.log()) {}

    StartUpOutcome run() {
        window_.createDeviceLink();
        window_.LoadLanguage();
        const bool ready = checkSingleInstance() && hideLog() && prepareTempFolder() &&
                           checkPolicy() && fetchConfig() && openConfig() && checkToolVersion() &&
                           showCaption() && fetchAndLoadBase() && startConnection();
        return ready ? StartUpOutcome::Ready : StartUpOutcome::Terminated;
    }

private:
    bool terminate() {
        window_.requestTermination();
        return false;
    }

    bool checkSingleInstance() {
        const QString name = QString::fromLatin1(kSingleInstanceName);
        if (lock_.acquire(name)) {
            return true;
        }
        if (lock_.refusal() == SingleInstanceLock::Refusal::HeldElsewhere) {
            userDialogs().showWarning(PickText(QStringLiteral("Приложение уже запущено!"),
                                               QStringLiteral("Application alredy running!")));
            return terminate();
        }
        // Whoever made the lock file could hold it, so whether another copy runs is unknown;
        // two copies would empty each other's temporary folder.
        log_.AddErrorLine("ERROR INSTANCE LOCK [" + SingleInstanceLock::lockPath(name) +
                              "] : cannot be created or belongs to someone else",
                          0);
        userDialogs().showError(
            PickText(QStringLiteral("Не удалось проверить, запущено ли приложение:\nфайл "
                                    "блокировки не создан или чужой!"),
                     QStringLiteral("Cannot check whether the application is running:\nthe lock "
                                    "file cannot be created or is not yours!")));
        return terminate();
    }

    bool hideLog() {
        window_.SetLogVisible(false);
        return true;
    }

    bool prepareTempFolder() {
        const QString folder = toolTempFolder();
        const PrivateFolderStatus status = preparePrivateFolder(folder);
        if (status != PrivateFolderStatus::Ready) {
            // Refused like a folder that cannot be made: whatever stands there may belong to
            // someone else, and the run's downloads must not go through it.
            log_.AddErrorLine(
                "ERROR TEMP FOLDER [" + folder + "] : " + privateFolderProblem(status),
                int(status));
            userDialogs().showError(PickText(QStringLiteral("Ошибка создания временного каталога"),
                                             QStringLiteral("Error of creation temporary folder")));
            return terminate();
        }
        run_.setTempFolder(folder);
        // Whatever an earlier run left is gone before anything new is fetched.
        emptyFolder(folder, QStringLiteral("*.*"));
        return true;
    }

    // A policy file that is there but cannot be trusted or understood must never leave
    // signatures silently not required: the tool refuses to update until it is mended.
    bool checkPolicy() {
        const SignaturePolicy policy = loadSignaturePolicy();
        if (policy.usable()) {
            return true;
        }
        log_.AddErrorLine(QStringLiteral("ERROR POLICY : ") + policy.problem, 0);
        userDialogs().showError(
            PickText(QStringLiteral("Политика подписи конфигурации не может быть применена:\n"),
                     QStringLiteral("The signature policy cannot be applied:\n")) +
            policy.problem);
        return terminate();
    }

    bool fetchConfig() {
        // A configuration whose signature fails is asked about like one that never came.
        if (run_.fetchConfig()) {
            return true;
        }
        const bool goOn = userDialogs().askWarningYesNo(
            PickText(QStringLiteral("Нет выхода в интернет или невозможно получить конфигурацию с "
                                    "сервера!\nВсе равно продолжить?"),
                     QStringLiteral("No Internet Connection or Upgrade Server Error!\nContinue?")));
        return goOn || terminate();
    }

    bool openConfig() {
        // After a failed fetch the copy is absent and every key reads its default.
        run_.openConfig();
        log_.AddLine(logSeparatorLine());
        log_.AddLine("START: " + bannerDateTime(QDateTime::currentDateTime()));
        log_.AddLine("APP VERSION = " + QString::fromLatin1(kOwnVersionText));
        if (run_.source().isFolder()) {
            log_.AddLine("DATA SOURCE = LOCAL [" + run_.source().displayText() + "]");
        }
        readToolVersion();
        return true;
    }

    void readToolVersion() {
        const UpdateConfig& config = run_.config();
        const QString section = QString::fromLatin1(kProjectSection);
        ToolVersionNotice& notice = run_.toolVersion();
        notice.newestVersion = parseAppVersion(
            config.readString(section, QStringLiteral("VERSION_APP"), QStringLiteral("0.0.0")));
        notice.upgradeUrl1 =
            config.readString(section, QStringLiteral("UPGRADE_URL_1"), kDefaultUpgradeUrl);
        notice.upgradeUrl2 = config.readString(section, QStringLiteral("UPGRADE_URL_2"));
        notice.actionIfNeedUpgrade =
            config.readInteger(section, QStringLiteral("ACTION_IF_NEED_UPGRADE"), 0);
    }

    bool checkToolVersion() {
        const ToolVersionNotice& notice = run_.toolVersion();
        if (!toolOutdated(notice.newestVersion)) {
            return true;
        }
        userDialogs().showWarning(outdatedToolText(notice.newestVersion, notice.upgradeUrl1));
        openDownloadAddress(notice.upgradeUrl1);
        if (!notice.upgradeUrl2.isEmpty()) {
            openDownloadAddress(notice.upgradeUrl2);
        }
        if (notice.actionIfNeedUpgrade != 1) {
            return true;
        }
        log_.AddLine(QStringLiteral("APP NEED UPGRADE ==> TERMINATE"));
        return terminate();
    }

    // The address comes from the server over plain FTP. Only web addresses go to the desktop:
    // a file or program address handed to the desktop's opener could start anything.
    void openDownloadAddress(const QString& address) {
        const QString scheme = QUrl(address.trimmed(), QUrl::TolerantMode).scheme().toLower();
        if (scheme != QStringLiteral("http") && scheme != QStringLiteral("https") &&
            scheme != QStringLiteral("ftp")) {
            log_.AddErrorLine("ERROR UPGRADE URL [" + address + "] : not a web address", 0);
            return;
        }
        openAddress(address);
    }

    bool showCaption() {
        window_.setCaption(applicationCaption());
        return true;
    }

    bool fetchAndLoadBase() {
        const QString name = run_.config().readString(QString::fromLatin1(kSerialNumberSection),
                                                      QStringLiteral("BASE_NAME"));
        QString problem;
        const QString local = run_.localPathFor(name, &problem);
        if (local.isEmpty()) {
            log_.AddErrorLine("ERROR BASE_NAME [" + name + "] : " + problem, 0);
        }
        if (local.isEmpty() || !run_.source().fetchFile(name, local) ||
            !run_.config().baseMatches(name, local, log_)) {
            userDialogs().showError(
                PickText(QStringLiteral("Ошибка загрузки базы серийных номеров"),
                         QStringLiteral("Error Loading of Base of Serial Numbers")));
            return terminate();
        }
        run_.loadBase(local);
        run_.config().loadLanguageCatalog();
        return true;
    }

    bool startConnection() {
        window_.startConnectionTimer();
        return true;
    }

    StartUpWindow& window_;
    SingleInstanceLock& lock_;
    UpdateRun& run_;
    ActivityLog& log_;
};

}  // namespace

StartUpOutcome runStartUp(StartUpWindow& window, SingleInstanceLock& lock, UpdateRun& run) {
    return StartUp(window, lock, run).run();
}

QString applicationCaption() {
    return QStringLiteral("Pelma Verimant Manager ") + QString::fromLatin1(kOwnVersionText) +
           QString::fromLatin1(kBuildDateText);
}

bool toolOutdated(std::int32_t newestVersion) {
    return newestVersion > 0 && newestVersion > kOwnVersion;
}

QString outdatedToolText(std::int32_t newestVersion, const QString& upgradeUrl1) {
    return PickText(QStringLiteral("У Вас установлено приложение версии: "),
                    QStringLiteral("Your Application Version is :")) +
           QString::fromLatin1(kOwnVersionText) + QLatin1Char('\n') +
           PickText(QStringLiteral("Доступна новая версия "),
                    QStringLiteral("Avalible new Version ")) +
           formatAppVersion(newestVersion) + QLatin1Char('\n') +
           PickText(QStringLiteral("Адрес для загрузки:\n"),
                    QStringLiteral("Address for downloading:\n")) +
           upgradeUrl1;
}

}  // namespace verimant
