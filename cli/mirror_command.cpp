#include "cli/cli_command.h"
#include "cli/cli_commands.h"
#include "cli/cli_run.h"
#include "cli/cli_source.h"
#include "cli/folders_on_signal.h"
#include "cli/terminal_text.h"

#include "update/config_limits.h"
#include "update/config_signature.h"
#include "update/file_hash.h"
#include "update/folder_source.h"
#include "update/profile_reader.h"
#include "update/update_config.h"
#include "update/update_run.h"
#include "update/update_server.h"

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

// Reports land in the folder beside the set; no list of the server's may touch them.
bool isReportName(const QString& name) {
    return name.section(QLatin1Char('\\'), 0, 0)
               .section(QLatin1Char('/'), 0, 0)
               .compare(QStringLiteral("log4"), Qt::CaseInsensitive) == 0;
}

class Mirror {
public:
    Mirror(CliRun& run, const QString& folder)
        : run_(run), folder_(QDir::cleanPath(QDir(folder).absolutePath())), server_(run.log()) {}

    int run() {
        // The run's own files lie in the mirror's file system, so each lands by a rename.
        if (QDir().mkpath(folder_)) {
            work_.emplace(folder_ + QStringLiteral("/.verimant-mirror-XXXXXX"));
            workOnSignal_.emplace(work_->isValid() ? work_->path() : QString());
        }
        if (!work_ || !work_->isValid()) {
            run_.dialogs().showError(
                QStringLiteral("cannot write into the folder %1").arg(folder_));
            return kExitFailure;
        }
        if (!server_.settings().problem.isEmpty()) {
            run_.dialogs().showError(QStringLiteral("VERIMANT_UPDATE_SERVER: ") +
                                     server_.settings().problem);
            return kExitFailure;
        }
        const QString configName = QString::fromLatin1(UpdateRun::kConfigName);
        const QString newConfig = work_->filePath(configName);
        if (!fetchConfiguration(configName, newConfig)) {
            return kExitFailure;
        }
        const QString oldConfig = folder_ + QLatin1Char('/') + configName;
        // The signature travels with its configuration, so the folder is checked as the server is.
        const QString signatureName = configName + QString::fromLatin1(kSignatureSuffix);
        const bool signaturePublished =
            server_.fetchFile(signatureName, work_->filePath(signatureName));
        const QList<ListedFile> wanted = listedFiles(ProfileReader::fromFile(newConfig));
        if (!withinFileBound(wanted)) {
            return kExitFailure;
        }
        for (const ListedFile& file : wanted) {
            syncFile(file);
        }
        // The folder changes only for a whole new set: a configuration beside files of another
        // set, or half of each, would be worse than the previous set.
        if (failed_ == 0) {
            placeFetched();
            removeUnlisted(listedFiles(ProfileReader::fromFile(oldConfig)), wanted);
            // The list goes in last, so a set it names is never announced before its files came.
            placeSignature(signaturePublished, work_->filePath(signatureName),
                           folder_ + QLatin1Char('/') + signatureName);
            placeConfig(newConfig, oldConfig, configName);
        }
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

private:
    bool fetchConfiguration(const QString& configName, const QString& localPath) {
        const FetchOutcome outcome = fetchConfigFile(server_, configName, localPath, run_.log());
        if (outcome == FetchOutcome::TooLarge) {
            run_.dialogs().showError(configTooLargeText(configName, server_));
        } else if (outcome == FetchOutcome::Failed) {
            run_.dialogs().showError(
                QStringLiteral("could not fetch the configuration %1 from the update server %2")
                    .arg(configName, server_.settings().displayText()));
        }
        return outcome == FetchOutcome::Fetched;
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

    bool syncFile(const ListedFile& file) {
        QString problem;
        const QString target = confinedFolderPath(folder_, file.name, &problem);
        if (target.isEmpty()) {
            return fail(QStringLiteral("refused the name '%1': %2").arg(file.name, problem));
        }
        if (isReportName(file.name)) {
            return fail(QStringLiteral("refused the name '%1': the reports' folder log4 is not "
                                       "the server's to fill")
                            .arg(file.name));
        }
        if (!file.sha256.isEmpty() && !isSha256Text(file.sha256)) {
            return fail(
                QStringLiteral("the SHA256 of '%1' is malformed: %2").arg(file.name, file.sha256));
        }
        if (upToDate(file, target)) {
            ++kept_;
            say("kept", file.name);
            return true;
        }
        // Size is checked by the download itself; the hash here, before the file takes its
        // place.
        const QString part = work_->filePath(QStringLiteral("file-%1").arg(pending_.size()));
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
        pending_.append({file.name, part, target});
        return true;
    }

    void placeFetched() {
        for (const Pending& file : pending_) {
            if (!place(file.part, file.target)) {
                fail(QStringLiteral("could not put '%1' into %2").arg(file.name, file.target));
                continue;
            }
            ++fetched_;
            say("fetched", file.name);
        }
    }

    // The whole file replaces the old one in one step: the part lies in the same file system.
    bool place(const QString& part, const QString& target) {
        QString problem;
        if (!QDir().mkpath(QFileInfo(target).path()) ||
            confinedFolderPath(folder_, QDir(folder_).relativeFilePath(target), &problem) !=
                target) {
            return false;
        }
        QFile::remove(target);
        return QFile::rename(part, target);
    }

    void removeUnlisted(const QList<ListedFile>& before, const QList<ListedFile>& now) {
        QStringList kept;
        for (const ListedFile& file : now) {
            kept << confinedFolderPath(folder_, file.name, nullptr);
        }
        for (const ListedFile& file : before) {
            const QString target = confinedFolderPath(folder_, file.name, nullptr);
            if (target.isEmpty() || kept.contains(target) || isReportName(file.name) ||
                !QFileInfo(target).isFile()) {
                continue;
            }
            if (QFile::remove(target)) {
                ++removed_;
                say("removed", file.name);
            }
        }
    }

    // Goes just before the configuration: a new signature beside the old configuration only
    // refuses it, while an old signature left beside an unsigned new one would do the same.
    void placeSignature(bool published, const QString& fresh, const QString& old) {
        if (!published) {
            QFile::remove(old);
            return;
        }
        if (!place(fresh, old)) {
            fail(QStringLiteral("could not put the signature into %1").arg(old));
        }
    }

    void placeConfig(const QString& fresh, const QString& old, const QString& name) {
        if (QFileInfo(old).isFile() && fileSha256(old) == fileSha256(fresh)) {
            ++kept_;
            say("kept", name);
            return;
        }
        if (!place(fresh, old)) {
            fail(QStringLiteral("could not put the configuration into %1").arg(old));
            return;
        }
        ++fetched_;
        say("fetched", name);
    }

    // A checked file waiting in the run's own folder for its place in the mirror.
    struct Pending {
        QString name;
        QString part;
        QString target;
    };

    CliRun& run_;
    QString folder_;
    QList<Pending> pending_;
    std::optional<QTemporaryDir> work_;
    // After the folder, so it lets go of the path before the folder goes.
    std::optional<FolderOnSignal> workOnSignal_;
    UpdateServer server_;
    // The names said per word ("fetched", "kept", "removed"), for the --json document.
    QMap<QString, QJsonArray> said_;
    int fetched_ = 0;
    int kept_ = 0;
    int removed_ = 0;
    int failed_ = 0;
};

}  // namespace

int runMirrorCommand(CliRun& run, const QStringList& arguments) {
    return Mirror(run, arguments.at(0)).run();
}

}  // namespace verimant::cli
