// verimant-sim: a simulated instrument on a pseudo-terminal, reachable as <ports dir>/COM<n>.

#include "sim/background_start.h"
#include "sim/sim_command_line.h"

#include <QCoreApplication>
#include <QFile>

#include <csignal>
#include <cstdio>

#include <pthread.h>

using namespace verimant::sim;

namespace {

void printLine(const QString& line) {
    std::fprintf(stdout, "verimant-sim: %s\n", qPrintable(line));
    std::fflush(stdout);
}

void saveState(const PtyInstrument& instrument, const QString& dir) {
    QString error;
    if (instrument.saveFiles(dir, &error)) {
        printLine(QStringLiteral("saved to ") + dir);
    } else {
        std::fprintf(stderr, "verimant-sim: saving failed: %s\n", qPrintable(error));
    }
}

// One "name: value" line per count, for benchmarks that need the exact traffic of a run.
void writeStats(const PtyInstrument& instrument, const QString& path) {
    QFile file(path);
    const QByteArray text =
        QStringLiteral("bytes_received: %1\nbytes_sent: %2\nframes_received: %3\n")
            .arg(instrument.lineBytesReceived())
            .arg(instrument.lineBytesSent())
            .arg(instrument.framesReceived())
            .toLatin1();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
        std::fprintf(stderr, "verimant-sim: writing %s failed\n", qPrintable(path));
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("verimant-sim"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated Verimant instrument on a pseudo-terminal. Runs until SIGINT or SIGTERM; "
        "SIGUSR1 saves the state to --save-dir; SIGUSR2 plugs an unplugged instrument back in."));
    parser.addHelpOption();
    addSimOptions(parser);
    parser.process(app);

    QString error;
    const auto line = readSimOptions(parser, &error);
    if (!line) {
        std::fprintf(stderr, "verimant-sim: %s\n", qPrintable(error));
        return 2;
    }

    BackgroundStart background;
    if (line->background) {
        if (const std::optional<int> parentExit = background.forkAndWait()) {
            return *parentExit;
        }
    }

    // Signals are taken by sigwait below, never by the serving thread.
    sigset_t handled;
    sigemptyset(&handled);
    sigaddset(&handled, SIGINT);
    sigaddset(&handled, SIGTERM);
    sigaddset(&handled, SIGUSR1);
    sigaddset(&handled, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &handled, nullptr);

    PtyInstrument instrument(line->config, line->options);
    const int port = line->options.portNumber;
    instrument.setLinkListener([port](bool present, const QString& slave, InstrumentMode mode) {
        if (present) {
            printLine(QStringLiteral("COM%1 -> %2 (%3)").arg(port).arg(slave, modeName(mode)));
        } else {
            printLine(QStringLiteral("COM%1 removed").arg(port));
        }
    });
    if (!instrument.start(&error)) {
        std::fprintf(stderr, "verimant-sim: %s\n", qPrintable(error));
        return 1;
    }
    // The serving thread is polling the pty now: a request sent from here on is answered.
    background.ready();

    for (;;) {
        int signal = 0;
        if (sigwait(&handled, &signal) != 0 || (signal != SIGUSR1 && signal != SIGUSR2)) {
            break;
        }
        if (signal == SIGUSR2) {
            instrument.replug();
        } else if (!line->saveDir.isEmpty()) {
            saveState(instrument, line->saveDir);
        }
    }
    instrument.stop();
    if (!line->saveDir.isEmpty()) {
        saveState(instrument, line->saveDir);
    }
    if (!line->statsFile.isEmpty()) {
        writeStats(instrument, line->statsFile);
    }
    return 0;
}
