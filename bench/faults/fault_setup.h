#pragma once

#include "bench/faults/write_set.h"
#include "tests/support/ftp_test_server.h"

#include <QString>

#include <memory>
#include <optional>

namespace verimant::faults {

// What every run of a sweep or of the lossy line shares: the small update set, the flashes it must
// leave, the local update server that publishes it, and where runs keep their files.
struct FaultSetup {
    WriteSet set;
    ExpectedFlashes expected;
    QString workDir;
    int portNumber = 21;
    // Serves <workDir>/server; shared, so that copies of the setup use the one server.
    std::shared_ptr<test::FtpTestServer> server;
};

// Publishes the set of `seed` on a local FTP server started for it.
std::optional<FaultSetup> prepareFaultSetup(const QString& workDir, unsigned seed, QString* error);

}  // namespace verimant::faults
