#pragma once

#include <QProcess>

#include <memory>

namespace verimant::test {

// Ends a test server's process, politely first, and forgets it; the port then refuses
// connections. Nothing to do when no process was started.
void stopServerProcess(std::unique_ptr<QProcess>& process);

}  // namespace verimant::test
