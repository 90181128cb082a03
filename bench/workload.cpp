#include "bench/workload.h"

namespace verimant::bench {

namespace {

bool smoke = false;

}  // namespace

bool smokeRun() {
    return smoke;
}

void setSmokeRun(bool on) {
    smoke = on;
}

}  // namespace verimant::bench
