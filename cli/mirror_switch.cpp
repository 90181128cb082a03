#include "cli/mirror_switch.h"

#include "platform/confined_file.h"
#include "update/folder_source.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <csignal>
#include <cstdio>
#include <optional>

namespace verimant::cli {

namespace {

constexpr char kJournalName[] = "journal";
constexpr char kSwitchedMark[] = "switched";
constexpr char kWorkPrefix[] = ".verimant-mirror-";

// The plan as the journal keeps it: staged files by their name inside the work folder.
struct Journal {
    QList<StagedFile> files;
    QStringList unlisted;
};

QString inWork(const QString& work, const QString& name) {
    return work + QLatin1Char('/') + name;
}

QString asideName(qsizetype index) {
    return QStringLiteral("previous-%1").arg(index);
}

QString placeOf(const QString& folder, const QString& relative) {
    return folder + QLatin1Char('/') + relative;
}

// Whether anything, a dangling link included, has the name.
bool present(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool renameOver(const QString& from, const QString& to) {
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

bool writeJournal(const QString& work, const SetSwitchPlan& plan) {
    QByteArray text;
    for (const StagedFile& file : plan.files) {
        text += "put\t" + QFileInfo(file.staged).fileName().toUtf8() + '\t' +
                file.relative.toUtf8() + '\n';
    }
    for (const QString& relative : plan.unlisted) {
        text += "remove\t" + relative.toUtf8() + '\n';
    }
    const QString part = inWork(work, QStringLiteral("journal.part"));
    QFile file(part);
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                         file.write(text) == text.size() && file.flush();
    file.close();
    return written && syncToDisk(part) &&
           renameOver(part, inWork(work, QString::fromLatin1(kJournalName))) && syncToDisk(work);
}

// A place the journal names, when it lies inside the folder: the journal sits in the mirror, so
// it is read as warily as anything else there.
bool confinedPlace(const QString& folder, const QString& relative) {
    return !relative.isEmpty() &&
           confinedFolderPath(folder, relative, nullptr) == placeOf(folder, relative);
}

bool plainName(const QString& name) {
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".") &&
           name != QLatin1String("..");
}

// The journal, or nothing when there is none or it names anything outside its folders.
std::optional<Journal> readJournal(const QString& folder, const QString& work) {
    QFile file(inWork(work, QString::fromLatin1(kJournalName)));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    Journal journal;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        const QString relative = QString::fromUtf8(fields.last());
        if (line.isEmpty()) {
            continue;
        }
        if (!confinedPlace(folder, relative)) {
            return std::nullopt;
        }
        if (fields.size() == 3 && fields.at(0) == "put" &&
            plainName(QString::fromUtf8(fields.at(1)))) {
            journal.files.append({relative, inWork(work, QString::fromUtf8(fields.at(1)))});
        } else if (fields.size() == 2 && fields.at(0) == "remove") {
            journal.unlisted.append(relative);
        } else {
            return std::nullopt;
        }
    }
    return journal;
}

// Puts every file that stepped aside back, and takes away every new file that had no
// predecessor; the last first, so the configuration is back before anything else.
bool putPreviousBack(const QString& folder, const QString& work, const Journal& journal) {
    bool back = true;
    for (qsizetype i = journal.files.size() - 1; i >= 0; --i) {
        const QString target = placeOf(folder, journal.files.at(i).relative);
        const QString aside = inWork(work, asideName(i));
        if (present(aside)) {
            back = renameOver(aside, target) && back;
        } else if (!present(journal.files.at(i).staged) && present(target)) {
            back = QFile::remove(target) && back;
        }
    }
    return syncToDisk(folder) && back;
}

void removeUnlisted(const QString& folder, const Journal& journal) {
    for (const QString& relative : journal.unlisted) {
        QFile::remove(placeOf(folder, relative));
        switchStepDone();
    }
}

bool markSwitched(const QString& work) {
    const QString mark = inWork(work, QString::fromLatin1(kSwitchedMark));
    QFile file(mark);
    const bool made = file.open(QIODevice::WriteOnly);
    file.close();
    return made && syncToDisk(work);
}

// The folders the new files went into, so their entries reach the disk before the mark does.
bool syncFolders(const QString& folder, const Journal& journal) {
    QSet<QString> folders;
    for (const StagedFile& file : journal.files) {
        folders.insert(QFileInfo(placeOf(folder, file.relative)).path());
    }
    bool synced = true;
    for (const QString& path : folders) {
        synced = syncToDisk(path) && synced;
    }
    return synced;
}

// A folder in a file's place is nobody's file of the set: it stays, and the switch stops.
bool stepAside(const QString& target, const QString& aside) {
    const QFileInfo info(target);
    return !present(target) || (!(info.isDir() && !info.isSymLink()) && renameOver(target, aside));
}

// Keeps the file readable at its place while a second name holds it for putting back; where the
// file system has no second names, it steps aside instead.
bool keepAside(const QString& target, const QString& aside) {
    return !present(target) || linkFile(target, aside) || renameOver(target, aside);
}

bool takePlace(const QString& staged, const QString& target) {
    return QDir().mkpath(QFileInfo(target).path()) && renameOver(staged, target);
}

bool runSwitch(const QString& folder, const QString& work, const Journal& journal) {
    const qsizetype configIndex = journal.files.size() - 1;
    const QString config = placeOf(folder, journal.files.at(configIndex).relative);
    // Alone, the configuration's rename is the whole switch. With other files it steps aside
    // first, so no reader takes it while they change.
    const QString configAside = inWork(work, asideName(configIndex));
    if (!(configIndex == 0 ? keepAside(config, configAside) : stepAside(config, configAside))) {
        return false;
    }
    switchStepDone();
    for (qsizetype i = 0; i < configIndex; ++i) {
        const QString target = placeOf(folder, journal.files.at(i).relative);
        if (!stepAside(target, inWork(work, asideName(i)))) {
            return false;
        }
        switchStepDone();
        if (!takePlace(journal.files.at(i).staged, target)) {
            return false;
        }
        switchStepDone();
    }
    if (!takePlace(journal.files.at(configIndex).staged, config) || !syncFolders(folder, journal)) {
        return false;
    }
    switchStepDone();
    return markSwitched(work);
}

}  // namespace

void switchStepDone() {
#ifdef VERIMANT_TEST_HOOKS
    static int step = -1;
    ++step;
    static const QByteArray killAt = qgetenv("VERIMANT_MIRROR_KILL_AFTER_STEP");
    if (!killAt.isEmpty() && killAt.toInt() == step) {
        std::raise(SIGKILL);
    }
#endif
}

SwitchOutcome switchMirrorSet(const QString& folder, const QString& workFolder,
                              const SetSwitchPlan& plan) {
    if (plan.files.isEmpty()) {
        return SwitchOutcome::Switched;
    }
    for (const StagedFile& file : plan.files) {
        if (!syncToDisk(file.staged)) {
            return SwitchOutcome::PreviousKept;
        }
    }
    if (!writeJournal(workFolder, plan)) {
        return SwitchOutcome::PreviousKept;
    }
    switchStepDone();
    const std::optional<Journal> journal = readJournal(folder, workFolder);
    if (!journal) {
        return SwitchOutcome::PreviousKept;
    }
    if (!runSwitch(folder, workFolder, *journal)) {
        // The journal stays while anything of the previous set is still in the work folder.
        return putPreviousBack(folder, workFolder, *journal) &&
                       QFile::remove(inWork(workFolder, QString::fromLatin1(kJournalName)))
                   ? SwitchOutcome::PreviousKept
                   : SwitchOutcome::LeftForRecovery;
    }
    switchStepDone();
    removeUnlisted(folder, *journal);
    return SwitchOutcome::Switched;
}

bool recoverInterruptedSwitch(const QString& folder, const QString& workFolder) {
    const std::optional<Journal> journal = readJournal(folder, workFolder);
    if (journal && !journal->files.isEmpty()) {
        if (QFileInfo::exists(inWork(workFolder, QString::fromLatin1(kSwitchedMark)))) {
            removeUnlisted(folder, *journal);
        } else {
            putPreviousBack(folder, workFolder, *journal);
        }
    }
    return QDir(workFolder).removeRecursively();
}

QStringList leftoverWorkFolders(const QString& folder) {
    QStringList found;
    const QStringList names =
        QDir(folder).entryList({QString::fromLatin1(kWorkPrefix) + QLatin1Char('*')},
                               QDir::Dirs | QDir::Hidden | QDir::NoSymLinks);
    for (const QString& name : names) {
        found.append(placeOf(folder, name));
    }
    return found;
}

}  // namespace verimant::cli
