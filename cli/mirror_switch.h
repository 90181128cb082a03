#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace verimant::cli {

// One file of a staged set: its place inside the mirror ("/"-separated, relative) and the file in
// the run's work folder that holds its new bytes.
struct StagedFile {
    QString relative;
    QString staged;
};

// What a switch does to the mirror, in the order it does it. The configuration comes last.
struct SetSwitchPlan {
    QList<StagedFile> files;  // the base, firmware files and the signature, then the configuration
    QStringList unlisted;     // files of the previous set alone, removed once the switch is done
};

enum class SwitchOutcome {
    Switched,         // the new set is in place
    PreviousKept,     // a step failed and the previous set is back in place
    LeftForRecovery,  // a step failed and so did putting the previous set back: the work folder
                      // must stay for recoverInterruptedSwitch()
};

// Moves the mirror `folder` from its previous set to the one staged in `workFolder` (a folder
// inside it, so every move is a rename):
//   1. the plan is written to the work folder as a journal, flushed to the disk;
//   2. the previous configuration steps aside into the work folder, so no reader takes it while
//      its files change;
//   3. each file steps aside the same way, and its new copy takes its place;
//   4. the new configuration takes its place, and a mark in the work folder says the switch is
//      done;
//   5. the previous set's other files go, then the work folder.
// A kill at any instant leaves the previous set, the new one, or (inside step 3) a folder with no
// configuration, which every reader refuses; recoverInterruptedSwitch() then puts the previous set
// back (before the mark) or finishes the new one (after it).
SwitchOutcome switchMirrorSet(const QString& folder, const QString& workFolder,
                              const SetSwitchPlan& plan);

// Finishes or undoes what a killed run left in `workFolder` (a `.verimant-mirror-XXXXXX` folder
// in the mirror), then removes it. A work folder without a journal never changed the mirror.
bool recoverInterruptedSwitch(const QString& folder, const QString& workFolder);

// The work folders earlier runs left in `folder`.
QStringList leftoverWorkFolders(const QString& folder);

// In test builds, VERIMANT_MIRROR_KILL_AFTER_STEP=N kills the process after the switch's Nth
// step (0: once the journal is written), as a power cut or `kill -9` would.
void switchStepDone();

}  // namespace verimant::cli
