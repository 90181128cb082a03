#include "cli/cli_command.h"
#include "cli/cli_commands.h"
#include "cli/cli_run.h"
#include "cli/cli_source.h"
#include "cli/folders_on_signal.h"
#include "cli/mirror_switch.h"
#include "cli/terminal_text.h"

#include "platform/instance_lock.h"
#include "update/config_limits.h"
#include "update/config_signature.h"
#include "update/config_trust.h"
#include "update/file_hash.h"
#include "update/folder_source.h"
#include "update/profile_reader.h"
#include "update/update_config.h"
#include "update/update_run.h"
#include "update/update_server.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QMap>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>
#include <optional>

namespace verimant::cli {

namespace {

// One file the configuration lists, with the hash it must have (empty: none given).
struct ListedFile {
    QString name;
    QString sha256;
};

// The base and every FILE: section's NAME, in file order, each once.
QList<ListedFile> listedFiles(const ProfileReader& config) {
    QList<ListedFile> files;
    QSet<QString> known;
    const auto add = [&files, &known](const QString& name, const QString& sha256) {
        if (!name.isEmpty() && !known.contains(name)) {
            known.insert(name);
            files.append({name, sha256});
        }
    };
    const QString serialSection = QString::fromLatin1(kSerialNumberSection);
    add(config.readString(serialSection, QStringLiteral("BASE_NAME"), QString()),
        config.readString(serialSection, QStringLiteral("BASE_SHA256"), QString()));
    for (const QString& section : config.sectionNames()) {
        if (section.startsWith(QStringLiteral("FILE:"), Qt::CaseInsensitive)) {
            add(config.readString(section, QStringLiteral("NAME"), QString()),
                config.readString(section, QStringLiteral("SHA256"), QString()));
        }
    }
    return files;
}

// Reports land in the folder beside the set; no list of the server's may touch them. Judged on
// the place the name gets, so ".\log4\..." or "fw\..\log4\..." cannot slip past.
bool isReportPlace(const QString& relative) {
    return relative.section(QLatin1Char('/'), 0, 0)
               .compare(QStringLiteral("log4"), Qt::CaseInsensitive) == 0;
}

bool sameBytes(const QString& a, const QString& b) {
    return QFileInfo(a).isFile() && QFileInfo(b).isFile() && fileSha256(a) == fileSha256(b);
}

// The server as the signature check sees it, except that its signature is the copy this run
// staged: the bytes judged are the bytes that go into the folder, whatever the server serves a
// moment later.
class StagedSignatureSource final : public UpdateSource {
public:
    // `signatureAbsent`: the server said plainly that it has no signature (not a failed fetch).
    StagedSignatureSource(UpdateSource& server, QString signatureName, QString stagedSignature,
                          bool signatureAbsent)
        : server_(server),
          signatureName_(std::move(signatureName)),
          staged_(std::move(stagedSignature)),
          signatureAbsent_(signatureAbsent) {}

    FetchOutcome fetchFileUpTo(const QString& serverName, const QString& localPath,
                               qint64 maxBytes) override {
        askedForSignature_ = serverName == signatureName_;
        if (!askedForSignature_) {
            return server_.fetchFileUpTo(serverName, localPath, maxBytes);
        }
        QFile::remove(localPath);
        return !staged_.isEmpty() && copyWhole(staged_, localPath) ? FetchOutcome::Fetched
                                                                   : FetchOutcome::Failed;
    }
    bool lastFetchFoundNoFile() const override {
        return askedForSignature_ ? staged_.isEmpty() && signatureAbsent_
                                  : server_.lastFetchFoundNoFile();
    }
    QString trustIdentity() const override { return server_.trustIdentity(); }
    bool uploadReport(const QString& localPath, const QString& baseFolder,
                      const QString& fileName) override {
        return server_.uploadReport(localPath, baseFolder, fileName);
    }
    void setProgressTotal(qint64 bytes) override { server_.setProgressTotal(bytes); }
    void setDeviceInfo(const DeviceInfo* info) override { server_.setDeviceInfo(info); }
    QString displayText() const override { return server_.displayText(); }
    bool isFolder() const override { return server_.isFolder(); }

private:
    UpdateSource& server_;
    QString signatureName_;
    QString staged_;
    bool signatureAbsent_;
    bool askedForSignature_ = false;
};

class Mirror {
public:
    Mirror(CliRun& run, const QString& folder)
        : run_(run), folder_(QDir::cleanPath(QDir(folder).absolutePath())), server_(run.log()) {}

    int run() {
        if (!openFolder()) {
            return kExitFailure;
        }
        if (!server_.settings().problem.isEmpty()) {
            run_.dialogs().showError(server_.settings().problem);
            return kExitFailure;
        }
        if (!stageConfig() || !judgeConfig()) {
            return kExitFailure;
        }
        const QList<ListedFile> wanted = listedFiles(ProfileReader::fromFile(stagedConfig()));
        if (!withinFileBound(wanted)) {
            return kExitFailure;
        }
        for (const ListedFile& file : wanted) {
            stageFile(file);
        }
        if (failed_ == 0) {
            switchSet();
        }
        return finish();
    }

private:
    QString configName() const { return QString::fromLatin1(UpdateRun::kConfigName); }
    QString signatureName() const { return configName() + QString::fromLatin1(kSignatureSuffix); }
    QString inFolder(const QString& relative) const {
        return folder_ + QLatin1Char('/') + relative;
    }
    QString stagedConfig() const { return work_->filePath(QStringLiteral("set-config")); }
    QString stagedSignature() const { return work_->filePath(QStringLiteral("set-signature")); }

    // The folder, held against a second mirror run, with what killed runs left undone or undone.
    bool openFolder() {
        const QByteArray folderId =
            QCryptographicHash::hash(folder_.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
        if (!QDir().mkpath(folder_) ||
            !lock_.acquire(QStringLiteral("verimant-mirror-") + QString::fromLatin1(folderId))) {
            run_.dialogs().showError(
                QStringLiteral("cannot write into the folder %1, or another mirror run holds it")
                    .arg(folder_));
            return false;
        }
        for (const QString& leftover : leftoverWorkFolders(folder_)) {
            recoverInterruptedSwitch(folder_, leftover);
        }
        // The run's own files lie in the mirror's file system, so each lands by a rename.
        work_.emplace(folder_ + QStringLiteral("/.verimant-mirror-XXXXXX"));
        workOnSignal_.emplace(work_->isValid() ? work_->path() : QString());
        if (!work_->isValid()) {
            run_.dialogs().showError(
                QStringLiteral("cannot write into the folder %1").arg(folder_));
            return false;
        }
        return true;
    }

    bool stageConfig() {
        const FetchOutcome outcome =
            fetchConfigFile(server_, configName(), stagedConfig(), run_.log());
        if (outcome == FetchOutcome::TooLarge) {
            run_.dialogs().showError(configTooLargeText(configName(), server_));
        } else if (outcome == FetchOutcome::Failed) {
            run_.dialogs().showError(
                QStringLiteral("could not fetch the configuration %1 from the update server %2: %3")
                    .arg(configName(), server_.settings().displayText(), server_.lastFailure()));
        }
        if (outcome != FetchOutcome::Fetched) {
            return false;
        }
        signaturePublished_ = server_.fetchFile(signatureName(), stagedSignature());
        signatureAbsent_ = !signaturePublished_ && server_.lastFetchFoundNoFile();
        return true;
    }

    // A set that lists more files than any real one would fill the disk before the mirror could
    // tell; the folder keeps its previous set.
    bool withinFileBound(const QList<ListedFile>& wanted) {
        if (wanted.size() <= kMaxListedFiles) {
            return true;
        }
        run_.dialogs().showError(QStringLiteral("the configuration lists %1 files, more than the "
                                                "%2 a set may list; nothing was mirrored")
                                     .arg(wanted.size())
                                     .arg(kMaxListedFiles));
        return false;
    }

    // The same judgement the server path and the Local source make, under the same policy; a
    // folder whose set is signed asks it of every set that would replace it.
    bool judgeConfig() {
        const QFileInfo currentSignature(inFolder(signatureName()));
        const bool folderSigned = currentSignature.exists() || currentSignature.isSymLink();
        const bool required = run_.options().isSet(QStringLiteral("require-signature")) ||
                              policyRequiresSignature() || folderSigned;
        StagedSignatureSource source(server_, signatureName(),
                                     signaturePublished_ ? stagedSignature() : QString(),
                                     signatureAbsent_);
        // The check removes a refused copy; the staged one stays for the switch.
        const QString judged = work_->filePath(configName());
        const ConfigTrust trust =
            copyWhole(stagedConfig(), judged)
                ? checkConfigTrust(source, configName(), judged, required, run_.log())
                : ConfigTrust::Refused;
        QFile::remove(judged);
        if (trust == ConfigTrust::Refused) {
            run_.dialogs().showError(
                QStringLiteral("the configuration's signature was refused%1; the folder keeps "
                               "its previous set unchanged")
                    .arg(folderSigned ? QStringLiteral(" (the folder's set is signed, so the "
                                                       "next one must be too)")
                                      : QString()));
            return false;
        }
        configSigned_ = trust == ConfigTrust::Signed;
        return true;
    }

    void say(const char* what, const QString& name) {
        said_[QString::fromLatin1(what)].append(name);
        run_.dialogs().endProgressLine();
        std::fprintf(run_.out(), "%s %s\n", what, terminalText(name).constData());
        std::fflush(run_.out());
    }

    void reportJson() {
        run_.json().set(QStringLiteral("folder"), folder_);
        for (const char* word : {"fetched", "kept", "removed"}) {
            run_.json().set(QString::fromLatin1(word), said_.value(QString::fromLatin1(word)));
        }
        run_.json().set(QStringLiteral("failed"), failed_);
    }

    bool fail(const QString& text) {
        run_.dialogs().showError(text);
        ++failed_;
        return false;
    }

    // Whether the copy in the folder is the server's: by hash where one is given, else by the
    // size the server states. Without either nothing says it is, and it comes again.
    bool upToDate(const ListedFile& file, const QString& target) {
        if (!QFileInfo(target).isFile()) {
            return false;
        }
        if (!file.sha256.isEmpty()) {
            return fileSha256(target).compare(file.sha256, Qt::CaseInsensitive) == 0;
        }
        const qint64 stated = server_.remoteSize(file.name);
        return stated >= 0 && stated == QFileInfo(target).size();
    }

    // The place `name` gets in the folder, relative to it; empty, with the run failed, when the
    // name may not have one.
    QString placeFor(const QString& name) {
        QString problem;
        const QString target = confinedFolderPath(folder_, name, &problem);
        if (target.isEmpty()) {
            fail(QStringLiteral("refused the name '%1': %2").arg(name, problem));
            return {};
        }
        const QString relative = QDir(folder_).relativeFilePath(target);
        if (isReportPlace(relative)) {
            fail(QStringLiteral("refused the name '%1': the reports' folder log4 is not the "
                                "server's to fill")
                     .arg(name));
            return {};
        }
        if (relative == configName() || relative == signatureName() ||
            relative.startsWith(QStringLiteral(".verimant-mirror-"))) {
            fail(QStringLiteral("refused the name '%1': the configuration's own place").arg(name));
            return {};
        }
        return relative;
    }

    bool stageFile(const ListedFile& file) {
        const QString relative = placeFor(file.name);
        if (relative.isEmpty()) {
            return false;
        }
        // "fw\x" and "fw\.\x" are one file: it comes once.
        if (keptPlaces_.contains(relative)) {
            return true;
        }
        keptPlaces_.append(relative);
        if (file.sha256.isEmpty() && configSigned_) {
            return fail(QStringLiteral("'%1' has no SHA256, which a signed configuration must "
                                       "give for every file")
                            .arg(file.name));
        }
        if (!file.sha256.isEmpty() && !isSha256Text(file.sha256)) {
            return fail(
                QStringLiteral("the SHA256 of '%1' is malformed: %2").arg(file.name, file.sha256));
        }
        if (upToDate(file, inFolder(relative))) {
            ++kept_;
            say("kept", file.name);
            return true;
        }
        // Size is checked by the download itself; the hash here, before the file is staged.
        const QString part = work_->filePath(QStringLiteral("file-%1").arg(plan_.files.size()));
        server_.setProgressTotal(std::max<qint64>(server_.remoteSize(file.name), 0));
        const bool arrived = server_.fetchFile(file.name, part);
        server_.setProgressTotal(0);
        if (!arrived) {
            return fail(QStringLiteral("could not fetch '%1'").arg(file.name));
        }
        if (!file.sha256.isEmpty() &&
            !fileMatchesSha256(part, file.name, file.sha256, run_.log())) {
            QFile::remove(part);
            return fail(QStringLiteral("'%1' does not match its SHA256; the copy in the folder "
                                       "is left as it was")
                            .arg(file.name));
        }
        // The folders a file needs are made now, so a place that cannot be made stops the run
        // before the switch; an empty folder changes no set.
        const QString target = inFolder(relative);
        if (!QDir().mkpath(QFileInfo(target).path())) {
            return fail(QStringLiteral("could not put '%1' into %2").arg(file.name, target));
        }
        plan_.files.append({relative, part});
        planNames_.append(file.name);
        return true;
    }

    // The previous set's files the new one no longer lists, by place and by their server name;
    // reports never among them.
    void planUnlisted() {
        for (const ListedFile& file :
             listedFiles(ProfileReader::fromFile(inFolder(configName())))) {
            const QString target = confinedFolderPath(folder_, file.name, nullptr);
            const QString relative = QDir(folder_).relativeFilePath(target);
            if (!target.isEmpty() && !isReportPlace(relative) && !keptPlaces_.contains(relative) &&
                relative != configName() && relative != signatureName() &&
                QFileInfo(target).isFile() && !plan_.unlisted.contains(relative)) {
                plan_.unlisted.append(relative);
                unlistedNames_.append(file.name);
            }
        }
    }

    // The signature and the configuration close the plan, the configuration last.
    void planConfigAndSignature() {
        const bool signatureChanged =
            configSigned_ && !sameBytes(stagedSignature(), inFolder(signatureName()));
        if (signatureChanged) {
            plan_.files.append({signatureName(), stagedSignature()});
            planNames_.append(signatureName());
        } else if (configSigned_) {
            ++kept_;
            say("kept", signatureName());
        }
        if (plan_.files.isEmpty() && plan_.unlisted.isEmpty() &&
            sameBytes(stagedConfig(), inFolder(configName()))) {
            ++kept_;
            say("kept", configName());
            return;
        }
        // An unsigned set leaves no signature behind: only an unsigned folder takes one.
        if (!configSigned_ && QFileInfo::exists(inFolder(signatureName()))) {
            plan_.unlisted.append(signatureName());
        }
        plan_.files.append({configName(), stagedConfig()});
        planNames_.append(configName());
    }

    void switchSet() {
        planUnlisted();
        planConfigAndSignature();
        const SwitchOutcome outcome = switchMirrorSet(folder_, work_->path(), plan_);
        if (outcome == SwitchOutcome::LeftForRecovery) {
            work_->setAutoRemove(false);
            fail(QStringLiteral("could not put the new set into %1, nor the previous one back; "
                                "the next mirror run puts it back from %2")
                     .arg(folder_, work_->path()));
            return;
        }
        if (outcome == SwitchOutcome::PreviousKept) {
            fail(QStringLiteral("could not put the new set into %1").arg(folder_));
            return;
        }
        for (const QString& name : planNames_) {
            ++fetched_;
            say("fetched", name);
        }
        for (qsizetype i = 0; i < unlistedNames_.size(); ++i) {
            if (!QFileInfo::exists(inFolder(plan_.unlisted.at(i)))) {
                ++removed_;
                say("removed", unlistedNames_.at(i));
            }
        }
    }

    int finish() {
        run_.dialogs().endProgressLine();
        if (failed_ == 0) {
            std::fprintf(run_.out(), "mirror %s: %d fetched, %d kept, %d removed\n",
                         QDir::toNativeSeparators(folder_).toUtf8().constData(), fetched_, kept_,
                         removed_);
        } else {
            std::fprintf(run_.out(),
                         "mirror %s: %d failed; the folder keeps its previous set unchanged\n",
                         QDir::toNativeSeparators(folder_).toUtf8().constData(), failed_);
        }
        std::fflush(run_.out());
        reportJson();
        return failed_ == 0 ? kExitSuccess : kExitFailure;
    }

    CliRun& run_;
    QString folder_;
    SingleInstanceLock lock_;
    std::optional<QTemporaryDir> work_;
    // After the folder, so it lets go of the path before the folder goes.
    std::optional<FolderOnSignal> workOnSignal_;
    UpdateServer server_;
    bool signaturePublished_ = false;
    bool signatureAbsent_ = false;
    bool configSigned_ = false;
    SetSwitchPlan plan_;
    QStringList planNames_;      // the names the plan's files have on the server, for the listing
    QStringList keptPlaces_;     // every place the new set lists
    QStringList unlistedNames_;  // the server names of plan_.unlisted, in its order
    // The names said per word ("fetched", "kept", "removed"), for the --json document.
    QMap<QString, QJsonArray> said_;
    int fetched_ = 0;
    int kept_ = 0;
    int removed_ = 0;
    int failed_ = 0;
};

}  // namespace

int runMirrorCommand(CliRun& run, const QStringList& arguments) {
    if (refuseSourceOption(run, QStringLiteral("mirror"))) {
        return kExitUsage;
    }
    return Mirror(run, arguments.at(0)).run();
}

}  // namespace verimant::cli
