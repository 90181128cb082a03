#include "tests/device/update_writer_probe.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <random>

namespace verimant::test {

LinkCheckProbe::LinkCheckProbe(const LinkFlags& flags, sim::PtyInstrument& instrument)
    : flags_(flags), instrument_(instrument) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { sample(); });
    timer_.start(2);
}

void LinkCheckProbe::sample() {
    const std::size_t operations = instrument_.withInstrument(
        [](sim::Instrument& device) { return device.flashOperations().size(); });
    if (operations > 0) {
        samples_.push_back({operations, flags_.linkCheckEnabled});
    }
}

int LinkCheckProbe::samplesBefore(std::size_t finalOperations) const {
    return int(std::count_if(samples_.begin(), samples_.end(),
                             [&](const Sample& s) { return s.operations < finalOperations; }));
}

int LinkCheckProbe::enabledSamplesBefore(std::size_t finalOperations) const {
    return int(std::count_if(samples_.begin(), samples_.end(), [&](const Sample& s) {
        return s.operations < finalOperations && s.linkCheckEnabled;
    }));
}

QString writeTestFile(const QString& name, const QByteArray& bytes) {
    const QString path = QDir::temp().filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    EXPECT_EQ(file.write(bytes), bytes.size());
    return path;
}

QByteArray patternBytes(qsizetype size, unsigned seed) {
    std::mt19937 engine(seed);
    QByteArray bytes(size, '\0');
    for (char& byte : bytes) {
        byte = char(engine() & 0xFF);
    }
    return bytes;
}

}  // namespace verimant::test
