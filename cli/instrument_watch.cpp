#include "cli/instrument_watch.h"

#include "cli/cli_run.h"

namespace verimant::cli {

namespace {

constexpr int kFirstAnswerTimeoutMs = 5000;

}  // namespace

InstrumentWatch::InstrumentWatch(CliRun& run, int port)
    : run_(run), port_(port), manager_(run.session().protocol, run.session().flags, run.log()) {
    manager_.attachTimer(timer_);
}

bool InstrumentWatch::start() {
    manager_.chooseManualPort(port_);
    // The watch opens and tests the port itself, so it knows the instrument it is watching.
    run_.session().flags.deviceConnected = false;
    timer_.start();
    manager_.tick();
    if (!manager_.waitForDevice(kFirstAnswerTimeoutMs)) {
        run_.dialogs().showError(QStringLiteral("No instrument answers on COM %1").arg(port_));
        return false;
    }
    return true;
}

}  // namespace verimant::cli
