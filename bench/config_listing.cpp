// `verimant-cli config` of a large configuration: the listing must stay linear in its sections.

#include "bench/benchmarks.h"
#include "update/config_limits.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

namespace verimant::bench {

namespace {

constexpr int kFirmwareSets = 10000;
// Two sets share each pair of files, so there are as many FILE: sections as sets.
constexpr int kFilePairs = kFirmwareSets / 2;
constexpr qint64 kConfigBytes = 2 * 1024 * 1024;
constexpr int kListingLimitMs = 120000;

QByteArray number(int i) {
    return QByteArray::number(i).rightJustified(5, '0');
}

QByteArray fileSection(const QByteArray& id, const QByteArray& name) {
    return "[FILE:" + id + "]\r\nVERSION=1.5\r\nNAME=fw\\" + name +
           "\r\nLENGTH=60000\r\nSHA256=" + QByteArray(64, 'a') + "\r\n";
}

// 20,000 sections, as a maker with many boards, models and packets would publish, filled up to
// 2 MiB with a comment.
QByteArray largeConfig() {
    QByteArray text =
        "[PROJECT_MANAGER]\r\nVERSION_APP=1.0.0\r\n[SERIAL_NUMBER]\r\nBASE_NAME=base.bin\r\n"
        "Y23=Model\r\n[LANGUAGES]\r\nLANG_LIST_1=1:RU:Russian:Russian\r\nLANG_SET_NUM=1\r\n"
        "LANG_SET_1=RU:Base\r\n[LANGUAGE:Base]\r\nNAME_L1=Base\r\nNAME_L2=Base\r\n"
        "LANG_LIST=RU\r\n";
    for (int i = 0; i < kFirmwareSets; ++i) {
        const QByteArray pair = number(i / 2);
        text += "[SOFT_SET:TRV-245.V3.M" + number(i) + ".Base]\r\nKMT2=K" + pair + "\r\nEFL=E" +
                pair + "\r\n";
    }
    for (int i = 0; i < kFilePairs; ++i) {
        text += fileSection("K" + number(i), "kmt2_" + number(i) + ".hex");
        text += fileSection("E" + number(i), "efl_" + number(i) + ".bin");
    }
    if (text.size() < kConfigBytes) {
        text += ';' + QByteArray(kConfigBytes - text.size() - 3, 'x') + "\r\n";
    }
    return text;
}

bool writeConfig(const QString& folder) {
    const QByteArray text = largeConfig();
    QFile file(folder + QStringLiteral("/verimant_version_3.ini"));
    return text.size() <= kMaxConfigBytes && QDir().mkpath(folder) &&
           file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

}  // namespace

std::optional<GroupRun> runConfigListing(const QString& portsDir) {
    const QString folder = portsDir + QStringLiteral("/large-config");
    if (!writeConfig(folder)) {
        printProblem(QStringLiteral("config: cannot write the large configuration in ") + folder);
        return std::nullopt;
    }
    QProcess cli;
    cli.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer wall;
    wall.start();
    cli.start(QCoreApplication::applicationDirPath() + QStringLiteral("/verimant-cli"),
              {QStringLiteral("config"), QStringLiteral("--source"), folder});
    cli.closeWriteChannel();
    const bool finished = cli.waitForFinished(kListingLimitMs);
    const double seconds = double(wall.elapsed()) / 1000.0;
    const QByteArray output = cli.readAll();
    if (!finished || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0 ||
        output.count("SOFT_SET:") != kFirmwareSets) {
        cli.kill();
        printProblem(QStringLiteral("verimant-cli config failed: ") +
                     QString::fromUtf8(output.right(2000)));
        return std::nullopt;
    }
    GroupRun run;
    run.wallSeconds = seconds;
    run.figures = {{"config_2mib_20000_sections_seconds", seconds, 3}};
    return run;
}

}  // namespace verimant::bench
