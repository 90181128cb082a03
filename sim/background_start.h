#pragma once

#include <optional>

namespace verimant::sim {

// verimant-sim --background: the command returns only once the instrument serves, so that a
// script's next line finds its port; the simulator goes on in a child process.
class BackgroundStart {
public:
    // Forks; call it before any thread is started. In the child returns nothing, and the caller
    // goes on to start the instrument. In the parent waits for the child: once it is ready, prints
    // its process id and returns 0; when it ends first (it printed why), returns its exit code.
    std::optional<int> forkAndWait();

    // In the child, once the instrument serves: lets the waiting parent return.
    void ready();

private:
    int readyFd_ = -1;
};

}  // namespace verimant::sim
