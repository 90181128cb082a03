#pragma once

namespace verimant::bench {

// Whether this run is the smoke run: every group on a tiny workload, with an unpaced simulator
// that comes back from a restart at once, to show that every figure can still be produced.
bool smokeRun();
void setSmokeRun(bool smoke);

// The workload's size: `full` for figures, `smoke` for the smoke run.
inline int sized(int full, int smoke) {
    return smokeRun() ? smoke : full;
}

}  // namespace verimant::bench
