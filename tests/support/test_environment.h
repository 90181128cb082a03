#pragma once

#include <QString>

namespace verimant::test {

// Gives every test process its own temporary folder, settings store and runtime folder, so that
// tests never see each other's files or the user's own settings, and runs Qt headless.
void prepareTestEnvironment();

// The folder made for this test process (removed when the process ends).
QString testRootDir();

// Path of a program built beside the tests (verimant-sim, verimant-cli).
QString builtProgram(const QString& name);

}  // namespace verimant::test
