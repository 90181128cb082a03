#include "bench/faults/fault_setup.h"

#include "bench/faults/served_set.h"

#include <QDir>

namespace verimant::faults {

std::optional<FaultSetup> prepareFaultSetup(const QString& workDir, unsigned seed, QString* error) {
    FaultSetup setup;
    setup.workDir = workDir;
    setup.set = smallWriteSet(seed);
    const QString served = workDir + QStringLiteral("/server");
    if (!QDir().mkpath(workDir) || !serveSmallSet(setup.set, served, error)) {
        return std::nullopt;
    }
    setup.server = std::make_shared<test::FtpTestServer>(served);
    if (!setup.server->start(error)) {
        return std::nullopt;
    }
    setup.expected = expectedFlashes(setup.set);
    return setup;
}

}  // namespace verimant::faults
