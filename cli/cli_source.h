#pragma once

#include <QString>

namespace verimant {
class UpdateSource;
}

namespace verimant::cli {

class CliRun;
struct CliOptions;

// The folder a run reads its files from instead of the update server: --source, else
// VERIMANT_UPDATE_SOURCE; empty for the server.
QString sourceFolderOption(const CliOptions& options);

// Commands that only ever read the update server refuse --source rather than ignore it: a
// script that meant a folder must not get the server's files unnoticed. True when refused.
bool refuseSourceOption(CliRun& run, const QString& command);

// "the update server ftp://user@host:port" or "the folder DIR", for error texts.
QString sourceDescription(const UpdateSource& source);

// The refusal of a configuration `name` from `source` longer than the tool takes.
QString configTooLargeText(const QString& name, const UpdateSource& source);

}  // namespace verimant::cli
