#pragma once

#include "link/connection_manager.h"

#include <QTimer>

namespace verimant::cli {

class CliRun;

// The window's connection timer for one typed port: while a command runs, it finds the instrument
// again after each restart into the other program, which mode switching waits for.
class InstrumentWatch {
public:
    InstrumentWatch(CliRun& run, int port);

    // Hands the open port over to the watch and waits until the instrument answers it; false (with
    // an error line) when it does not within a few seconds.
    bool start();

private:
    CliRun& run_;
    int port_;
    ConnectionManager manager_;
    QTimer timer_;
};

}  // namespace verimant::cli
