#pragma once

#include "device/write_options.h"

namespace verimant::cli {

struct CliOptions;

// How write-kmt2, write-efl and upgrade have the writers go about their images.
WriteOptions cliWriteOptions(const CliOptions& options);

}  // namespace verimant::cli
