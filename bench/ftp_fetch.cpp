#include "base/activity_log.h"
#include "bench/bench_data.h"
#include "bench/benchmarks.h"
#include "bench/measured_span.h"
#include "tests/support/ftp_test_server.h"
#include "update/update_server.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace verimant::bench {

namespace {

constexpr int kFileSize = 8 * 1024 * 1024;
constexpr int kCurlLimitMs = 120000;
const char kRemoteName[] = "firmware_8mib.bin";

bool writeFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// curl from the same server: the yardstick. Its time includes starting the program, which is
// small against a transfer of this size.
std::optional<double> curlSeconds(const test::FtpTestServer& server, const QString& target) {
    QProcess curl;
    MeasuredSpan span;
    span.start();
    curl.start(QStringLiteral("curl"), {QStringLiteral("-sS"), QStringLiteral("-o"), target,
                                        server.url() + QLatin1Char('/') + kRemoteName});
    if (!curl.waitForFinished(kCurlLimitMs) || curl.exitStatus() != QProcess::NormalExit ||
        curl.exitCode() != 0) {
        printProblem(QStringLiteral("curl failed: ") +
                     QString::fromLocal8Bit(curl.readAllStandardError()));
        return std::nullopt;
    }
    return span.stop().wallSeconds;
}

}  // namespace

std::optional<GroupRun> runFtpFetch(const QString& workDir) {
    const QString served = workDir + QStringLiteral("/ftp-served");
    const QString fetched = workDir + QStringLiteral("/ftp-fetched");
    QDir().mkpath(served);
    QDir().mkpath(fetched);
    const QByteArray data = benchData(kFileSize, 0xF7B0F7B0);
    if (!writeFile(served + QLatin1Char('/') + kRemoteName, data)) {
        printProblem(QStringLiteral("cannot write the served file in ") + served);
        return std::nullopt;
    }
    test::FtpTestServer server(served);
    QString why;
    if (!server.start(&why)) {
        printProblem(why);
        return std::nullopt;
    }
    const QString curlTarget = fetched + QStringLiteral("/curl.bin");
    // A first fetch brings the file into the page cache, so both measured fetches read it alike.
    if (!curlSeconds(server, curlTarget))
        return std::nullopt;

    ActivityLog log;
    UpdateServer updateServer(log, *parseServerAddress(server.url()));
    updateServer.setProgressTotal(kFileSize);
    const QString toolTarget = fetched + QStringLiteral("/tool.bin");
    MeasuredSpan span;
    span.start();
    const bool ok = updateServer.fetchFile(QString::fromLatin1(kRemoteName), toolTarget);
    const SpanFigures tool = span.stop();
    if (!ok || readFile(toolTarget) != data) {
        printProblem(QStringLiteral("fetchFile failed: ") + log.lines().join(QLatin1Char('\n')) +
                     QLatin1Char(' ') + updateServer.ftpClient().errorText());
        return std::nullopt;
    }
    const std::optional<double> curl = curlSeconds(server, curlTarget);
    if (!curl || readFile(curlTarget) != data)
        return std::nullopt;

    const double mebibytes = double(kFileSize) / (1024.0 * 1024.0);
    return GroupRun{tool.wallSeconds,
                    {
                        {"ftp_fetch_8mib_seconds", tool.wallSeconds, 3},
                        {"curl_fetch_8mib_seconds", *curl, 3},
                        {"ftp_fetch_ratio_to_curl", tool.wallSeconds / *curl, 3},
                        {"ftp_fetch_tool_cpu_seconds_per_mib", tool.cpuSeconds / mebibytes, 4},
                    }};
}

}  // namespace verimant::bench
