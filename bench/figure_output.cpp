#include "bench/figure_output.h"

#include <cmath>
#include <cstdio>

namespace verimant::bench {

void printFigures(const GroupRun& run) {
    for (const Figure& figure : run.figures) {
        std::printf("%s: %.*f\n", figure.name, figure.decimals, figure.value);
    }
    std::fflush(stdout);
}

bool figuresFinite(const GroupRun& run) {
    bool finite = true;
    for (const Figure& figure : run.figures) {
        if (!std::isfinite(figure.value)) {
            printProblem(QString::fromLatin1(figure.name) + QStringLiteral(" is not a number: ") +
                         QString::number(figure.value));
            finite = false;
        }
    }
    return finite;
}

void printProblem(const QString& text) {
    std::fprintf(stderr, "verimant-bench: %s\n", qPrintable(text));
}

}  // namespace verimant::bench
