#pragma once

#include <QProcess>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace verimant::bench {

// What crossed the simulated line during one simulator run, as the simulator counted it:
// delimiters, stuffing and any noise included.
struct LineCounts {
    qint64 bytesReceived = 0;
    qint64 bytesSent = 0;
    qint64 framesReceived = 0;

    qint64 totalBytes() const { return bytesReceived + bytesSent; }
};

// Seconds the counted bytes need on a real line: ten bits a byte (8N1).
double wireSeconds(const LineCounts& counts, int baudRate = 230400);

// verimant-sim as a process of its own, so that everything this process spends on the CPU is the
// tool's side of the line: the waiting thread and the port's reader thread.
class SimProcess {
public:
    SimProcess(QString portsDir, int portNumber, bool paced);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts the program next to this one and waits until its COM link is in the ports folder.
    bool start(QString* error);
    // Terminates it and returns the line counts it writes at exit.
    std::optional<LineCounts> stop(QString* error);

private:
    QString linkPath() const;
    QString statsPath() const;

    QString portsDir_;
    int portNumber_;
    bool paced_;
    QProcess process_;
};

// Paced simulated instruments on `count` ports from `firstPort` on, each started; empty when one
// does not start (`error` says why).
std::vector<std::unique_ptr<SimProcess>> startPacedInstruments(const QString& portsDir,
                                                               int firstPort, int count,
                                                               QString* error);

}  // namespace verimant::bench
