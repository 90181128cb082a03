#include "cli/cli_command.h"
#include "cli/cli_run.h"
#include "cli/terminal_text.h"
#include "cli/upgrade_commands.h"
#include "platform/port_map.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <memory>
#include <vector>

#include <unistd.h>

namespace verimant::cli {

namespace {

// The options a worker gets as they were given: everything that shapes one instrument's upgrade.
const char* const kForwardedSwitches[] = {
    "yes",       "reinstall",         "verify",          "no-verify",
    "write-all", "require-signature", "allow-older-set", "allow-downgrade"};
const char* const kForwardedValues[] = {"packet", "language", "source"};

std::atomic<bool> stopRequested{false};

extern "C" void noteStop(int) {
    stopRequested = true;
}

// One instrument's worker: a verimant-cli upgrade of its own, in its own process group so that
// the terminal's Ctrl-C reaches only this parent, which passes it on exactly once.
struct Worker {
    int port = 0;
    std::unique_ptr<QProcess> process;
    QByteArray document;
    QString step;
    QByteArray pendingErr;
    bool stopSent = false;
    QJsonObject result;
};

QStringList workerArguments(const CliOptions& options, int port) {
    QStringList arguments{QStringLiteral("upgrade"), QStringLiteral("--port"),
                          QString::number(port), QStringLiteral("--json")};
    for (const char* name : kForwardedSwitches) {
        if (options.isSet(QLatin1String(name))) {
            arguments << QStringLiteral("--") + QLatin1String(name);
        }
    }
    for (const char* name : kForwardedValues) {
        if (options.isSet(QLatin1String(name))) {
            arguments << QStringLiteral("--") + QLatin1String(name)
                      << options.value(QLatin1String(name));
        }
    }
    return arguments;
}

std::unique_ptr<QProcess> startWorker(const CliOptions& options, int port) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VERIMANT_HISTORY_KIND"), QStringLiteral("upgrade --all"));
    process->setProcessEnvironment(environment);
    process->setChildProcessModifier([] { ::setpgid(0, 0); });
    // The consent was given (or refused) by the parent's --yes; a worker never asks.
    process->start(QCoreApplication::applicationFilePath(), workerArguments(options, port));
    process->closeWriteChannel();
    return process;
}

// The last line a worker logged: what it is doing now.
void readProgress(Worker& worker) {
    worker.pendingErr += worker.process->readAllStandardError();
    const qsizetype end = worker.pendingErr.lastIndexOf('\n');
    if (end < 0) {
        return;
    }
    const QList<QByteArray> lines = worker.pendingErr.left(end).split('\n');
    worker.pendingErr.remove(0, end + 1);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        const QString line = QString::fromUtf8(*it).trimmed();
        if (!line.isEmpty()) {
            worker.step = line.left(60);
            return;
        }
    }
}

QString serialOf(const Worker& worker) {
    return worker.result.value(QStringLiteral("serial")).toString();
}

// An instrument the set does not cover was refused before anything was written: skipped.
QString summaryResult(const QJsonObject& document) {
    const QString result = document.value(QStringLiteral("result")).toString();
    return result == QLatin1String("refused") ? QStringLiteral("skipped") : result;
}

class UpgradeAll {
public:
    explicit UpgradeAll(CliRun& run) : run_(run), terminal_(isatty(fileno(run.err())) != 0) {}

    int run() {
        for (const int port : answeringPortCandidates()) {
            Worker worker;
            worker.port = port;
            worker.process = startWorker(run_.options(), port);
            workers_.push_back(std::move(worker));
        }
        if (workers_.empty()) {
            run_.dialogs().showError(QStringLiteral("no serial port to look for instruments on"));
            return kExitFailure;
        }
        waitForWorkers();
        return summarise();
    }

private:
    static std::vector<int> answeringPortCandidates() {
        std::vector<PortEntry> entries(1000);
        int count = int(entries.size());
        enumeratePorts(entries.data(), count);
        compactPortEntries(entries.data(), count);
        std::vector<int> ports;
        for (int i = 0; i < count; ++i) {
            ports.push_back(entries[i].portNumber);
        }
        return ports;
    }

    bool allFinished() const {
        for (const Worker& worker : workers_) {
            if (worker.process->state() != QProcess::NotRunning) {
                return false;
            }
        }
        return true;
    }

    void forwardStop() {
        for (Worker& worker : workers_) {
            if (!worker.stopSent && worker.process->state() == QProcess::Running) {
                ::kill(pid_t(worker.process->processId()), SIGINT);
                worker.stopSent = true;
            }
        }
    }

    void waitForWorkers() {
        struct sigaction action {};
        struct sigaction previous {};
        action.sa_handler = noteStop;
        ::sigaction(SIGINT, &action, &previous);
        QTimer tick;
        tick.setInterval(200);
        QEventLoop loop;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            for (Worker& worker : workers_) {
                worker.document += worker.process->readAllStandardOutput();
                readProgress(worker);
            }
            if (stopRequested) {
                forwardStop();
            }
            drawLiveLines();
            if (allFinished()) {
                loop.quit();
            }
        });
        tick.start();
        loop.exec();
        ::sigaction(SIGINT, &previous, nullptr);
        for (Worker& worker : workers_) {
            worker.document += worker.process->readAllStandardOutput();
            worker.result = QJsonDocument::fromJson(worker.document).object();
        }
    }

    // One line per instrument, redrawn in place on a terminal.
    void drawLiveLines() {
        if (!terminal_ || run_.jsonWanted()) {
            return;
        }
        if (drawn_ > 0) {
            std::fprintf(run_.err(), "\033[%dA", drawn_);
        }
        for (const Worker& worker : workers_) {
            const bool done = worker.process->state() == QProcess::NotRunning;
            std::fprintf(run_.err(), "\r\033[KCOM%-4d %s\n", worker.port,
                         terminalText(done ? QStringLiteral("done") : worker.step).constData());
        }
        drawn_ = int(workers_.size());
        std::fflush(run_.err());
    }

    int summarise() {
        QJsonArray documents;
        bool allWritten = true;
        int started = 0;
        std::FILE* out = run_.out();
        std::fprintf(out, "%-6s %-12s %-20s %-20s %-10s %7s\n", "port", "serial", "before", "after",
                     "result", "seconds");
        QJsonArray busyPorts;
        for (const Worker& worker : workers_) {
            // Held by another program: an instrument may be behind it, out of this run's reach.
            if (worker.result.value(QStringLiteral("port_busy")).toBool()) {
                busyPorts.append(worker.port);
                std::fprintf(
                    out, "COM%-3d %-12s %-20s %-20s %-10s %7s  %s\n", worker.port, "?", "", "",
                    "busy", "",
                    worker.result.value(QStringLiteral("error")).toString().toUtf8().constData());
                continue;
            }
            // No result: nothing answered on the port, so nothing was started there.
            if (!worker.result.contains(QStringLiteral("result"))) {
                continue;
            }
            documents.append(worker.result);
            const QString result = summaryResult(worker.result);
            // An instrument left as it was because it is up to date needs nothing done.
            if (result != QLatin1String("skipped") && result != QLatin1String("up_to_date")) {
                ++started;
                allWritten = allWritten && result == QLatin1String("written");
            }
            std::fprintf(
                out, "COM%-3d %-12s %-20s %-20s %-10s %7.1f%s\n", worker.port,
                serialOf(worker).toUtf8().constData(),
                worker.result.value(QStringLiteral("versions_before"))
                    .toString()
                    .toUtf8()
                    .constData(),
                worker.result.value(QStringLiteral("versions_after"))
                    .toString()
                    .toUtf8()
                    .constData(),
                result.toUtf8().constData(),
                worker.result.value(QStringLiteral("seconds")).toDouble(),
                result == QLatin1String("written") || result == QLatin1String("up_to_date")
                    ? ""
                    // One line a row: a reason of several lines is joined.
                    : (QStringLiteral("  ") +
                       worker.result.value(QStringLiteral("error")).toString().simplified())
                          .toUtf8()
                          .constData());
        }
        std::fflush(out);
        run_.json().set(QStringLiteral("instruments"), documents);
        run_.json().set(QStringLiteral("started"), started);
        run_.json().set(QStringLiteral("busy_ports"), busyPorts);
        if (documents.isEmpty()) {
            run_.dialogs().showError(QStringLiteral("no instrument answered on any port"));
            return kExitFailure;
        }
        if (stopRequested) {
            run_.dialogs().showError(QStringLiteral(
                "the upgrades were stopped on Ctrl-C; each log says how far it got"));
            return kExitFailure;
        }
        return allWritten ? kExitSuccess : kExitFailure;
    }

    CliRun& run_;
    bool terminal_;
    std::vector<Worker> workers_;
    int drawn_ = 0;
};

}  // namespace

int runUpgradeAllCommand(CliRun& run) {
    return UpgradeAll(run).run();
}

}  // namespace verimant::cli
