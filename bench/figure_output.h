#pragma once

#include <QString>

namespace verimant::bench {

// One figure on standard output as "name: value"; standard output carries nothing else.
void printFigure(const char* name, double value, int decimals);

// Why a benchmark could not run, on standard error.
void printProblem(const QString& text);

}  // namespace verimant::bench
