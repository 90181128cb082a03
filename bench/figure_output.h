#pragma once

#include <QString>

#include <vector>

namespace verimant::bench {

struct Figure {
    const char* name;
    double value;
    int decimals;
};

// One run of a benchmark group: its figures, and the wall time by which repeated runs are ranked.
struct GroupRun {
    double wallSeconds = 0;
    std::vector<Figure> figures;
};

// The run's figures on standard output, one "name: value" line each; standard output carries
// nothing else.
void printFigures(const GroupRun& run);

// The figures that are not finite numbers (a division by a zero time, a run that measured
// nothing), each named on standard error; true when there is none.
bool figuresFinite(const GroupRun& run);

// Why a benchmark could not run, on standard error.
void printProblem(const QString& text);

}  // namespace verimant::bench
