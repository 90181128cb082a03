// Start-up of the main window against a local update server whose serial-number base holds
// 120,000 instruments: from the window's creation to Timer_Connection running.

#include "bench/benchmarks.h"
#include "bench/measured_span.h"
#include "bench/workload.h"
#include "tests/support/ftp_test_server.h"
#include "ui/main_window.h"
#include "update/config_signature.h"
#include "update/start_up.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace verimant::bench {

namespace {

int baseRecords() {
    return sized(120000, 2000);
}
constexpr int kBlock = 256;
const QString kBaseName = QStringLiteral("verimant_sn_base.bin");
const QString kSetFolder = QStringLiteral(VERIMANT_SOURCE_DIR "/examples/update-server");
const QString kConfigName = QStringLiteral("verimant_version_3.ini");
const QString kDemoSecretKey =
    QStringLiteral(VERIMANT_SOURCE_DIR "/examples/demo-signing-key.DEMO-ONLY.key");

QByteArray baseBlock(const QByteArray& text) {
    QByteArray block = text.left(kBlock - 1);
    block.append(QByteArray(kBlock - block.size(), '\0'));
    return block;
}

// Two header blocks and baseRecords() instruments; the demo instrument comes last.
QByteArray largeBase() {
    QByteArray base;
    base.reserve((baseRecords() + 2) * kBlock);
    base += baseBlock("VERIMANT SERIAL NUMBER BASE;BENCH");
    base += baseBlock("SERIAL;TEXT;BOARD;VERSION;ASM1;ASM2;NUMBER;LANGUAGE_SET;N1..N8");
    for (int i = 0; i < baseRecords() - 1; ++i) {
        const QByteArray serial = QByteArray::number(0x20000000 + i, 16).toUpper();
        base += baseBlock(serial + ";Verimant;278;2;1;1;" + QByteArray::number(i) +
                          ";RU;0;0;0;0;0;0;0;0\r\n");
    }
    base += baseBlock("12345678;Verimant;278;2;1;1;777;RU;0;0;0;0;0;0;0;0\r\n");
    return base;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

// The demo configuration names the demo base by its SHA-256 and is signed: the generated base
// needs its own hash in it, and the changed configuration a signature by the demo key again.
bool writeConfigFor(const QString& to, const QByteArray& base) {
    QByteArray config = readAll(kSetFolder + "/" + kConfigName);
    const qsizetype at = config.indexOf("BASE_SHA256=");
    const qsizetype end = config.indexOf('\n', at);
    const QByteArray secret =
        QByteArray::fromBase64(readAll(kDemoSecretKey).trimmed(), QByteArray::Base64Encoding);
    if (at < 0 || end < 0) {
        return false;
    }
    const QByteArray hash = QCryptographicHash::hash(base, QCryptographicHash::Sha256).toHex();
    const qsizetype valueStart = at + qsizetype(qstrlen("BASE_SHA256="));
    config.replace(valueStart, end - valueStart, hash + (config[end - 1] == '\r' ? "\r" : ""));
    const QByteArray signature = signDetached(config, secret);
    return !signature.isEmpty() && writeAll(to + "/" + kConfigName, config) &&
           writeAll(to + "/" + kConfigName + QString::fromLatin1(kSignatureSuffix),
                    signature.toBase64() + '\n');
}

bool copySet(const QString& to) {
    const QByteArray base = largeBase();
    for (const QString& name : QDir(kSetFolder).entryList(QDir::Files)) {
        if (!name.startsWith(kConfigName) && name != kBaseName &&
            !QFile::copy(kSetFolder + "/" + name, to + "/" + name)) {
            return false;
        }
    }
    return writeAll(to + "/" + kBaseName, base) && writeConfigFor(to, base);
}

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
    test::FtpTestServer server(root);
    QString why;
    if (!server.start(&why)) {
        printProblem(QStringLiteral("the local update server (pyftpdlib) did not start: ") + why);
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
