#pragma once

#include <QString>

namespace verimant {
class UpdateSource;
}

namespace verimant::cli {

struct CliOptions;

// The folder a run reads its files from instead of the update server: --source, else
// VERIMANT_UPDATE_SOURCE; empty for the server.
QString sourceFolderOption(const CliOptions& options);

// "the update server ftp://user@host:port" or "the folder DIR", for error texts.
QString sourceDescription(const UpdateSource& source);

// The refusal of a configuration `name` from `source` longer than the tool takes.
QString configTooLargeText(const QString& name, const UpdateSource& source);

}  // namespace verimant::cli
