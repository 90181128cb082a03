#include "bench/benchmarks.h"
#include "bench/measured_span.h"
#include "bench/workload.h"

#include "update/serial_number_base.h"

#include <QFile>
#include <QTemporaryDir>

#include <malloc.h>

#include <algorithm>
#include <chrono>

namespace verimant::bench {

namespace {

int generatedRecords() {
    return sized(120000, 2000);
}
constexpr int kMissLookups = 21;
constexpr double kMiB = 1024.0 * 1024.0;

// A base as the maker's would look: two header blocks, then one record a block, each padded
// with line feeds after its text.
QByteArray generatedBase() {
    QByteArray image(
        (generatedRecords() + SerialNumberBase::kFirstRecordBlock) * SerialNumberBase::kBlockSize,
        '\n');
    image.replace(0, 6, "HEADER");
    for (int i = 0; i < generatedRecords(); ++i) {
        const QByteArray text = QByteArray::number(0x10000000 + i * 7, 16).toUpper() +
                                ";note;245;3;1;2;" + QByteArray::number(i) + ";RU;0;0;0;0;0;0;0;0";
        image.replace((i + SerialNumberBase::kFirstRecordBlock) * SerialNumberBase::kBlockSize,
                      text.size(), text);
    }
    return image;
}

// Resident set sizes from /proc/self/status, in bytes; the peak can be reset to the current
// size, so the figure is the load's own and not what the process needed before it.
qint64 statusBytes(const QByteArray& field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':')) {
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong() * 1024;
        }
    }
    return -1;
}

bool resetPeakMemory() {
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace

std::optional<GroupRun> runSerialBase(const QString&) {
    QTemporaryDir folder;
    const QString path = folder.path() + QStringLiteral("/serial_base.bin");
    {
        QFile file(path);
        const QByteArray image = generatedBase();
        if (!folder.isValid() || !file.open(QIODevice::WriteOnly) ||
            file.write(image) != image.size()) {
            printProblem(QStringLiteral("serial_base: cannot write the generated base"));
            return std::nullopt;
        }
    }
    // Memory the generator freed would otherwise be reused by the load and hide what it needs.
    malloc_trim(0);
    if (!resetPeakMemory()) {
        printProblem(QStringLiteral("serial_base: cannot reset the peak memory figure"));
        return std::nullopt;
    }
    const qint64 residentBefore = statusBytes("VmRSS");

    MeasuredSpan span;
    span.start();
    auto start = std::chrono::steady_clock::now();
    SerialNumberBase base;
    base.loadBase(path);
    const double loadMs = millisecondsSince(start);
    if (base.recordCount() != generatedRecords() ||
        base.findSerial(QStringLiteral("10000007")) != 3) {
        printProblem(QStringLiteral("serial_base: the generated base did not load"));
        return std::nullopt;
    }

    // A serial that is not there walks every block: the slowest lookup there is.
    std::vector<double> missMs;
    for (int i = 0; i < kMissLookups; ++i) {
        start = std::chrono::steady_clock::now();
        const int found = base.findSerial(QStringLiteral("0FFFFFFF"));
        missMs.push_back(millisecondsSince(start));
        if (found != 0) {
            printProblem(QStringLiteral("serial_base: a missing serial was found"));
            return std::nullopt;
        }
    }
    std::sort(missMs.begin(), missMs.end());
    const double peakMiB = (statusBytes("VmHWM") - residentBefore) / kMiB;

    GroupRun run;
    run.wallSeconds = span.stop().wallSeconds;
    run.figures = {
        {"serial_base_file_mib", base.size() / kMiB, 2},
        {"serial_base_load_120k_ms", loadMs, 2},
        {"serial_base_lookup_miss_120k_ms", missMs[missMs.size() / 2], 3},
        {"serial_base_peak_memory_mib", peakMiB, 2},
    };
    return run;
}

}  // namespace verimant::bench
