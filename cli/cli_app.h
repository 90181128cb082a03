#pragma once

#include <QStringList>

#include <cstdio>

namespace verimant::cli {

// Runs one verimant-cli invocation (arguments without the program name); returns its exit code.
int runCli(const QStringList& arguments, std::FILE* out, std::FILE* err);

}  // namespace verimant::cli
