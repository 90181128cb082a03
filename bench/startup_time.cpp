// Start-up of the main window against a local update server whose serial-number base holds
// 120,000 instruments: from the window's creation to Timer_Connection running.

#include "bench/benchmarks.h"
#include "bench/measured_span.h"
#include "ui/main_window.h"
#include "update/start_up.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

namespace verimant::bench {

namespace {

constexpr int kBaseRecords = 120000;
constexpr int kBlock = 256;
const QString kBaseName = QStringLiteral("verimant_sn_base.bin");
const QString kSetFolder = QStringLiteral(VERIMANT_SOURCE_DIR "/examples/update-server");
const QString kServerScript =
    QStringLiteral(VERIMANT_SOURCE_DIR "/scripts/lib/demo_update_server.py");

QByteArray baseBlock(const QByteArray& text) {
    QByteArray block = text.left(kBlock - 1);
    block.append(QByteArray(kBlock - block.size(), '\0'));
    return block;
}

// Two header blocks and kBaseRecords instruments; the demo instrument comes last.
QByteArray largeBase() {
    QByteArray base;
    base.reserve((kBaseRecords + 2) * kBlock);
    base += baseBlock("VERIMANT SERIAL NUMBER BASE;BENCH");
    base += baseBlock("SERIAL;TEXT;BOARD;VERSION;ASM1;ASM2;NUMBER;LANGUAGE_SET;N1..N8");
    for (int i = 0; i < kBaseRecords - 1; ++i) {
        const QByteArray serial = QByteArray::number(0x20000000 + i, 16).toUpper();
        base += baseBlock(serial + ";Verimant;278;2;1;1;" + QByteArray::number(i) +
                          ";RU;0;0;0;0;0;0;0;0\r\n");
    }
    base += baseBlock("12345678;Verimant;278;2;1;1;777;RU;0;0;0;0;0;0;0;0\r\n");
    return base;
}

bool copySet(const QString& to) {
    for (const QString& name : QDir(kSetFolder).entryList(QDir::Files)) {
        if (name != kBaseName && !QFile::copy(kSetFolder + "/" + name, to + "/" + name)) {
            return false;
        }
    }
    QFile base(to + "/" + kBaseName);
    return base.open(QIODevice::WriteOnly) &&
           base.write(largeBase()) == qint64(kBaseRecords + 2) * kBlock;
}

// The demo's own update server (pyftpdlib), on a port it chooses and reports in a file.
class LocalServer {
public:
    bool start(const QString& root, const QString& portFile) {
        password_ = QString::number(QRandomGenerator::system()->generate64(), 16);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VERIMANT_DEMO_FTP_PASSWORD"), password_);
        process_.setProcessEnvironment(environment);
        // Its own log is of no interest here; standard output carries only figures.
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.start(QStringLiteral("/usr/bin/python3"), {kServerScript, root, portFile});
        for (int i = 0; i < 200 && process_.state() != QProcess::NotRunning; ++i) {
            QFile file(portFile);
            if (file.open(QIODevice::ReadOnly)) {
                port_ = file.readAll().trimmed().toUShort();
                return port_ != 0;
            }
            QThread::msleep(50);
        }
        return false;
    }
    ~LocalServer() {
        process_.kill();
        process_.waitForFinished();
    }
    QString url() const {
        return QStringLiteral("ftp://verimant:%1@127.0.0.1:%2").arg(password_).arg(port_);
    }

private:
    QProcess process_;
    QString password_;
    quint16 port_ = 0;
};

// Sets an environment variable for the life of the object, then restores what was there.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const QByteArray& value)
        : name_(name), wasSet_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedVariable() {
        if (wasSet_) {
            qputenv(name_, old_);
        } else {
            qunsetenv(name_);
        }
    }

private:
    const char* name_;
    bool wasSet_;
    QByteArray old_;
};

}  // namespace

std::optional<GroupRun> runStartUp(const QString&) {
    QTemporaryDir work;
    const QString root = work.path() + "/server";
    const QString temp = work.path() + "/tmp";
    if (!work.isValid() || !QDir().mkpath(root) || !QDir().mkpath(temp) || !copySet(root)) {
        printProblem(QStringLiteral("the update set for the start-up run cannot be made"));
        return std::nullopt;
    }
    LocalServer server;
    if (!server.start(root, work.path() + "/port")) {
        printProblem(QStringLiteral("the local update server (pyftpdlib) did not start"));
        return std::nullopt;
    }
    // The run's folder and single-instance lock live in this run's own temporary folder, so a
    // tool the user has open does not count as a first copy.
    const ScopedVariable tmpdir("TMPDIR", QFile::encodeName(temp));
    const ScopedVariable address("VERIMANT_UPDATE_SERVER", server.url().toUtf8());

    MeasuredSpan span;
    span.start();
    auto window = std::make_unique<MainWindow>();
    window->FormCreate();
    const SpanFigures figures = span.stop();
    const bool ready = window->connectionTimer().isActive();
    window.reset();
    if (!ready) {
        printProblem(QStringLiteral("start-up did not reach the connection timer"));
        return std::nullopt;
    }
    GroupRun run;
    run.wallSeconds = figures.wallSeconds;
    run.figures.push_back({"startup_to_ready_ms", figures.wallSeconds * 1000.0, 1});
    return run;
}

}  // namespace verimant::bench
