#pragma once

#include <QString>

namespace verimant {

class UpdateRun;

namespace faults {

// What start-up fetches before the instrument is asked anything: the configuration, the
// serial-number base and the language catalogue, into `folder` (which must be the user's own).
bool fetchStartUpFiles(UpdateRun& run, const QString& folder, QString* error);

}  // namespace faults
}  // namespace verimant
