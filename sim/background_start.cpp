#include "sim/background_start.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace verimant::sim {

namespace {

constexpr char kReady = 'R';

// The caller may take the process id with $(...), which waits until every writer of its pipe has
// gone: the child, which lives on, lets go of standard input and output at once. Standard error
// stays, for a failure to start.
void releaseCallersOutput() {
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
}

int exitCodeOf(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return 1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

std::optional<int> BackgroundStart::forkAndWait() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        std::perror("verimant-sim: pipe");
        return 1;
    }
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        std::perror("verimant-sim: fork");
        return 1;
    }
    if (child == 0) {
        ::close(fds[0]);
        readyFd_ = fds[1];
        // Its own session: the terminal's Ctrl-C and hang-up are for the commands that follow.
        ::setsid();
        releaseCallersOutput();
        return std::nullopt;
    }
    ::close(fds[1]);
    char answer = 0;
    ssize_t got = 0;
    do {
        got = ::read(fds[0], &answer, 1);
    } while (got < 0 && errno == EINTR);
    ::close(fds[0]);
    if (got == 1 && answer == kReady) {
        std::printf("%d\n", int(child));
        std::fflush(stdout);
        return 0;
    }
    // The child ended (or closed the pipe) without being ready: its exit code says why.
    const int code = exitCodeOf(child);
    return code == 0 ? 1 : code;
}

void BackgroundStart::ready() {
    if (readyFd_ < 0) {
        return;
    }
    const char ready = kReady;
    while (::write(readyFd_, &ready, 1) < 0 && errno == EINTR) {
    }
    ::close(readyFd_);
    readyFd_ = -1;
}

}  // namespace verimant::sim
