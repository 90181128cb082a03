#pragma once

#include "sim/instrument_config.h"
#include "sim/pty_instrument.h"

#include <QCommandLineParser>
#include <QString>

#include <optional>

namespace verimant::sim {

struct SimCommandLine {
    InstrumentConfig config;
    PtyInstrumentOptions options;
    // Where the state is saved at exit and on SIGUSR1; empty: never.
    QString saveDir;
    // Where the line's byte and frame counts are written at exit; empty: nowhere.
    QString statsFile;
    // Return once the instrument serves, leaving it running in a child process.
    bool background = false;
};

// The options of verimant-sim.
void addSimOptions(QCommandLineParser& parser);
// Reads the parsed options; nothing, with a reason, when a value is malformed.
std::optional<SimCommandLine> readSimOptions(const QCommandLineParser& parser, QString* error);

// "0x0410", "1040" or the version text "4.16" (major.minor) as a 16-bit version code.
std::optional<std::uint16_t> parseVersionCode(const QString& text);

}  // namespace verimant::sim
