#pragma once

#include "base/activity_log.h"
#include "base/ui_language.h"
#include "link/connection_manager.h"
#include "link/device_protocol.h"
#include "sim/pty_instrument.h"
#include "tests/support/scripted_dialogs.h"

#include <QFile>
#include <QList>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace verimant::test {

// Everything the manager paints, in order.
class RecordingStatusView : public ConnectionStatusView {
public:
    struct Shown {
        LinkState state;
        QString text;
        std::uint32_t colour;
        QString comText;
    };

    void showConnectionState(LinkState state, const QString& text, std::uint32_t colour) override {
        shown.append({state, text, colour, QString()});
    }
    void showComText(const QString& text) override {
        comTexts.append(text);
        if (!shown.isEmpty()) {
            shown.last().comText = text;
        }
    }
    const Shown& last() const { return shown.last(); }
    int calls() const { return int(shown.size() + comTexts.size()); }

    QList<Shown> shown;
    QStringList comTexts;
};

// The manager on the tool's own protocol, painting into a recording view, with simulated
// instruments plugged into this test's ports folder.
class ConnectionManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUiLanguage(UiLanguage::Russian);
        protocol.setLogSink([this](const QString& line) {
            portLines << line;
            log.AddLine(line);
        });
        manager.setStatusView(&view);
    }

    // An instrument already plugged in on COM`port`.
    sim::PtyInstrument& plugIn(int port, sim::SimFaults faults = {}) {
        sim::PtyInstrumentOptions options;
        options.portNumber = port;
        options.faults = faults;
        instruments.push_back(
            std::make_unique<sim::PtyInstrument>(sim::InstrumentConfig{}, options));
        QString error;
        EXPECT_TRUE(instruments.back()->start(&error)) << error.toStdString();
        return *instruments.back();
    }

    static void unplug(sim::PtyInstrument& instrument) {
        instrument.unplug();
        ASSERT_TRUE(instrument.waitUntilAbsent(3000));
    }
    static void replug(sim::PtyInstrument& instrument) {
        instrument.replug();
        ASSERT_TRUE(instrument.waitUntilPresent(3000));
    }

    // A port that exists but cannot be opened as a serial line.
    static void addDeadPort(int port) {
        ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"),
                                qEnvironmentVariable("VERIMANT_PORTS_DIR") +
                                    QStringLiteral("/COM") + QString::number(port)));
    }

    // The port's open and close lines as they came, repeats included.
    int portLinesStartingWith(const QString& prefix) const {
        return int(std::count_if(portLines.begin(), portLines.end(),
                                 [&](const QString& line) { return line.startsWith(prefix); }));
    }

    QStringList logLinesStartingWith(const QString& prefix) const {
        QStringList found;
        for (const QString& line : log.lines()) {
            if (line.startsWith(prefix)) {
                found << line;
            }
        }
        return found;
    }

    // The first automatic ticks with nothing new: watching finds no instrument and starts to scan.
    void tickUntilScanning() {
        manager.tick();
        ASSERT_EQ(manager.connectionMode(), ConnectionManager::kAutoScanning);
        manager.tick();
    }

    ScriptedDialogs dialogs;
    ActivityLog log;
    QStringList portLines;
    DeviceProtocol protocol;
    LinkFlags flags;
    ConnectionManager manager{protocol, flags, log};
    RecordingStatusView view;
    std::vector<std::unique_ptr<sim::PtyInstrument>> instruments;
};

}  // namespace verimant::test
