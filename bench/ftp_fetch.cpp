#include "base/activity_log.h"
#include "bench/bench_data.h"
#include "bench/benchmarks.h"
#include "bench/measured_span.h"
#include "bench/workload.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/tls_test_servers.h"
#include "update/update_server.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <vector>

#include <unistd.h>

namespace verimant::bench {

namespace {

int fileSize() {
    return sized(8 * 1024 * 1024, 256 * 1024);
}
constexpr int kCurlLimitMs = 120000;
int roundCount() {
    return sized(5, 1);
}
const char kRemoteName[] = "firmware_8mib.bin";

bool writeFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// curl from the same server: the yardstick. Its own time_total counts from its connect to the
// end of the transfer, as the tool's figure does, without the time to start a program.
std::optional<double> curlSeconds(const test::FtpTestServer& server, const QString& target) {
    QProcess curl;
    curl.start(QStringLiteral("curl"),
               {QStringLiteral("-sS"), QStringLiteral("-w"), QStringLiteral("%{time_total}"),
                QStringLiteral("-o"), target, server.url() + QLatin1Char('/') + kRemoteName});
    if (!curl.waitForFinished(kCurlLimitMs) || curl.exitStatus() != QProcess::NormalExit ||
        curl.exitCode() != 0) {
        printProblem(QStringLiteral("curl failed: ") +
                     QString::fromLocal8Bit(curl.readAllStandardError()));
        return std::nullopt;
    }
    bool numeric = false;
    const double seconds = QString::fromLatin1(curl.readAllStandardOutput()).toDouble(&numeric);
    if (!numeric || seconds <= 0) {
        printProblem(QStringLiteral("curl gave no time"));
        return std::nullopt;
    }
    return seconds;
}

// The median time of the tool's fetch of the served file over `address`; nothing when a fetch
// fails.
std::optional<double> toolSeconds(const QString& address, const QString& target,
                                  const QByteArray& data) {
    ActivityLog log;
    UpdateServer updateServer(log, *parseServerAddress(address));
    std::vector<double> rounds;
    const int count = roundCount();
    for (int round = 0; round < count; ++round) {
        MeasuredSpan span;
        span.start();
        const bool ok = updateServer.fetchFile(QString::fromLatin1(kRemoteName), target);
        rounds.push_back(span.stop().wallSeconds);
        if (!ok || readFile(target) != data) {
            printProblem(
                QStringLiteral("fetch over %1 failed: %2")
                    .arg(updateServer.displayText(), updateServer.transport().errorText()));
            return std::nullopt;
        }
    }
    std::sort(rounds.begin(), rounds.end());
    return rounds[std::size_t(count / 2)];
}

// The same file over FTP with TLS (vsftpd, which needs root) and over HTTPS, with a certificate
// made for the run.
void addSecureFigures(const QString& workDir, const QString& served, const QByteArray& data,
                      std::vector<Figure>& figures) {
    test::TestCertificates certificates;
    QString why;
    if (!certificates.make(workDir + QStringLiteral("/certs"), &why)) {
        printProblem(why);
        return;
    }
    qputenv("VERIMANT_CA_FILE", certificates.caFile.toUtf8());
    const QString target = workDir + QStringLiteral("/ftp-fetched/secure.bin");
    test::HttpsTestServer web(served, workDir + QStringLiteral("/https-uploads"));
    if (web.start(certificates.goodCert, certificates.goodKey, &why)) {
        if (const auto seconds = toolSeconds(web.url(), target, data))
            figures.push_back({"https_fetch_8mib_seconds", *seconds, 3});
    } else {
        printProblem(why);
    }
    if (geteuid() != 0) {
        printProblem(QStringLiteral("ftpes_fetch_8mib_seconds needs root for vsftpd"));
        return;
    }
    test::FtpsTestServer ftps(served);
    if (!ftps.start(certificates.goodCert, certificates.goodKey, &why)) {
        printProblem(why);
        return;
    }
    if (const auto seconds = toolSeconds(ftps.url(QStringLiteral("any")), target, data))
        figures.push_back({"ftpes_fetch_8mib_seconds", *seconds, 3});
}

}  // namespace

std::optional<GroupRun> runFtpFetch(const QString& workDir) {
    const QString served = workDir + QStringLiteral("/ftp-served");
    const QString fetched = workDir + QStringLiteral("/ftp-fetched");
    QDir().mkpath(served);
    QDir().mkpath(fetched);
    const QByteArray data = benchData(fileSize(), 0xF7B0F7B0);
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
    const QString toolTarget = fetched + QStringLiteral("/tool.bin");
    // Alternating rounds, each side's median: a burst of other work on the machine then slows
    // one round of each instead of deciding the ratio.
    std::vector<SpanFigures> toolRounds;
    std::vector<double> curlRounds;
    for (int round = 0; round < roundCount(); ++round) {
        updateServer.setProgressTotal(fileSize());
        MeasuredSpan span;
        span.start();
        const bool ok = updateServer.fetchFile(QString::fromLatin1(kRemoteName), toolTarget);
        toolRounds.push_back(span.stop());
        if (!ok || readFile(toolTarget) != data) {
            printProblem(QStringLiteral("fetchFile failed: ") +
                         log.lines().join(QLatin1Char('\n')) + QLatin1Char(' ') +
                         updateServer.transport().errorText());
            return std::nullopt;
        }
        const std::optional<double> curl = curlSeconds(server, curlTarget);
        if (!curl || readFile(curlTarget) != data)
            return std::nullopt;
        curlRounds.push_back(*curl);
    }
    std::sort(toolRounds.begin(), toolRounds.end(), [](const SpanFigures& a, const SpanFigures& b) {
        return a.wallSeconds < b.wallSeconds;
    });
    std::sort(curlRounds.begin(), curlRounds.end());
    const SpanFigures tool = toolRounds[roundCount() / 2];
    const double curl = curlRounds[roundCount() / 2];

    const double mebibytes = double(fileSize()) / (1024.0 * 1024.0);
    std::vector<Figure> figures = {
        {"ftp_fetch_8mib_seconds", tool.wallSeconds, 3},
        {"curl_fetch_8mib_seconds", curl, 3},
        {"ftp_fetch_ratio_to_curl", tool.wallSeconds / curl, 3},
        {"ftp_fetch_tool_cpu_seconds_per_mib", tool.cpuSeconds / mebibytes, 4},
    };
    addSecureFigures(workDir, served, data, figures);
    return GroupRun{tool.wallSeconds, figures};
}

}  // namespace verimant::bench
