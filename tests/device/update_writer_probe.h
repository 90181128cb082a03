#pragma once

#include "link/link_flags.h"
#include "sim/pty_instrument.h"

#include <QByteArray>
#include <QString>
#include <QTimer>

#include <vector>

namespace verimant::test {

// Looks, from inside the writer's waits (they run the event loop), at the link flags while the
// instrument's flash is being changed, as the connection manager's timer would.
class LinkCheckProbe {
public:
    LinkCheckProbe(const LinkFlags& flags, sim::PtyInstrument& instrument);

    // Samples taken after the first flash operation and before the `finalOperations`-th one.
    int samplesBefore(std::size_t finalOperations) const;
    int enabledSamplesBefore(std::size_t finalOperations) const;

private:
    struct Sample {
        std::size_t operations;
        bool linkCheckEnabled;
    };
    void sample();

    const LinkFlags& flags_;
    sim::PtyInstrument& instrument_;
    QTimer timer_;
    std::vector<Sample> samples_;
};

// A file of the test's own in its private temporary folder; its full path.
QString writeTestFile(const QString& name, const QByteArray& bytes);
// Repeatable bytes that do not repeat within the file.
QByteArray patternBytes(qsizetype size, unsigned seed);

}  // namespace verimant::test
