#pragma once

#include "bench/faults/write_set.h"

#include "tests/support/ftp_test_server.h"

#include <QString>

#include <memory>

namespace verimant::faults {

// Replaces `folder` with a fresh copy of the demo's update set, without anything an earlier run
// left there (reports, changed files).
bool copyDemoSet(const QString& folder);

// A fresh copy of the demo's update set in `folder`, served by a local FTP server that the
// environment names to verimant-cli; nothing when it cannot be set up (`error` says why).
std::unique_ptr<test::FtpTestServer> serveDemoSet(const QString& folder, QString* error);

// Fills `folder` with what the update server publishes for the fault runs: the demo's update set
// (configuration, serial-number base, both packets) with the main firmware and the first packet's
// data image replaced by the small set's files, under the names and versions the configuration
// gives them.
bool serveSmallSet(const WriteSet& set, const QString& folder, QString* error);

}  // namespace verimant::faults
