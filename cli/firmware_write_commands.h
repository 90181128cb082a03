#pragma once

#include <QString>
#include <QStringList>

namespace verimant::cli {

class CliRun;

// write-kmt2 FILE: the main firmware from a record file, through the boot loader, then back to the
// main firmware. write-efl FILE: the data image into the external flash, under the main firmware.
// Each first moves the instrument into the program its writer needs.
int runWriteKmt2Command(CliRun& run, const QStringList& arguments);
int runWriteEflCommand(CliRun& run, const QStringList& arguments);

// Engineers' service commands write any local file: the signature policy (--require-signature,
// RequireSignedConfiguration) judges update sets only. Where the policy asks for signatures,
// one warning line says so.
void warnPolicyDoesNotCover(CliRun& run, const QString& command, const QString& file);

// A read-back that found the flash other than the file is named in the error line and the JSON
// document (address, the byte written and the byte read); nothing when there was none.
void reportReadBackFinding(CliRun& run);

}  // namespace verimant::cli
