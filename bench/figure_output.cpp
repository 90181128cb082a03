#include "bench/figure_output.h"

#include <cstdio>

namespace verimant::bench {

void printFigure(const char* name, double value, int decimals) {
    std::printf("%s: %.*f\n", name, decimals, value);
    std::fflush(stdout);
}

void printProblem(const QString& text) {
    std::fprintf(stderr, "verimant-bench: %s\n", qPrintable(text));
}

}  // namespace verimant::bench
