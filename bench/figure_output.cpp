#include "bench/figure_output.h"

#include <cstdio>

namespace verimant::bench {

void printFigures(const GroupRun& run) {
    for (const Figure& figure : run.figures) {
        std::printf("%s: %.*f\n", figure.name, figure.decimals, figure.value);
    }
    std::fflush(stdout);
}

void printProblem(const QString& text) {
    std::fprintf(stderr, "verimant-bench: %s\n", qPrintable(text));
}

}  // namespace verimant::bench
