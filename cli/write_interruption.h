#pragma once

#include <csignal>

namespace verimant::cli {

// While it lives, Ctrl-C (SIGINT) does not kill the program in the middle of a request: it asks
// the running firmware writer to stop after its current chunk, so that the writer logs where it
// stopped and the command can say what was left. A second Ctrl-C ends the program as usual.
class WriteInterruption {
public:
    WriteInterruption();
    ~WriteInterruption();
    WriteInterruption(const WriteInterruption&) = delete;
    WriteInterruption& operator=(const WriteInterruption&) = delete;

private:
    struct sigaction previous_ {};
};

}  // namespace verimant::cli
