#pragma once

#include "base/activity_log.h"
#include "device/device_session.h"
#include "link/device_commands.h"
#include "link/device_protocol.h"
#include "link/link_flags.h"
#include "sim/pty_instrument.h"
#include "tests/support/scripted_dialogs.h"

#include <QStringList>
#include <QTimer>

#include <ostream>
#include <vector>

namespace verimant::test {

// The simulated instrument on a pseudo-terminal and everything the tool talks to it with: the
// protocol opened on its COM port through the tool's own serial layer, the command set, the link
// flags, the log and scripted dialogs that record every box.
class SimulatedDevice {
public:
    static constexpr int kBaudRate = 230400;

    explicit SimulatedDevice(sim::InstrumentConfig config = {},
                             sim::PtyInstrumentOptions options = quickOptions());
    ~SimulatedDevice();

    static sim::PtyInstrumentOptions quickOptions();

    // Starts the instrument and opens the port; false (with a test failure) when either fails.
    bool start();
    // Starts the instrument only, for a connection manager to find.
    bool startInstrument();

    sim::PtyInstrument& instrument() { return instrument_; }
    template <typename F>
    auto withInstrument(F&& f) {
        return instrument_.withInstrument(std::forward<F>(f));
    }
    // From the `after`-th request on, the instrument answers nothing more.
    void silence(int after = 0);
    // Pulls the cable (as a fault injected before did), plugs it back and reopens the port.
    bool replugAndReopen();
    // How often the instrument was asked group/command since it started.
    int requests(std::uint8_t group, std::uint8_t command);
    // External-flash bytes as they are now.
    QByteArray externalFlash(std::uint32_t address, int count);
    std::vector<sim::FlashOperation> flashOperations();
    QStringList screenTexts();
    QStringList logLines() const { return log.lines(); }

    ScriptedDialogs dialogs;
    ActivityLog log;
    DeviceProtocol protocol;
    DeviceCommands commands{protocol};
    LinkFlags flags;
    DeviceSession session{log, protocol, commands, flags};

private:
    sim::PtyInstrument instrument_;
};

// Looks, from inside the writer's waits (they run the event loop), at the link flags while the
// instrument's flash is being changed, as the connection manager's timer would.
class LinkCheckProbe {
public:
    explicit LinkCheckProbe(SimulatedDevice& device);
    // Samples taken after the first flash operation and before the `finalOperations`-th one.
    int samplesBefore(std::size_t finalOperations, bool onlyEnabled = false) const;

private:
    struct Sample {
        std::size_t operations;
        bool linkCheckEnabled;
    };
    QTimer timer_;
    std::vector<Sample> samples_;
};

// A file of the test's own in its private temporary folder; its full path.
QString writeTestFile(const QString& name, const QByteArray& bytes);
// Repeatable bytes that do not repeat within the file.
QByteArray patternBytes(qsizetype size, unsigned seed);

}  // namespace verimant::test

// Readable failure messages for texts and lists of texts.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& lines, std::ostream* out) {
    *out << "{\n";
    for (const QString& line : lines) {
        *out << "  \"" << line.toStdString() << "\"\n";
    }
    *out << "}";
}
