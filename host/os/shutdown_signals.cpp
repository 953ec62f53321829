#include "os/shutdown_signals.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <pthread.h>

namespace quorin::host::os {
namespace {

sigset_t shutdown_set() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

} // namespace

void block_shutdown_signals() {
    const sigset_t set = shutdown_set();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

int wait_for_shutdown_signal() {
    const sigset_t set = shutdown_set();
    int received = 0;
    while (::sigwait(&set, &received) != 0) {}
    return received;
}

int wait_for_shutdown_signal(std::chrono::milliseconds timeout) {
    const sigset_t set = shutdown_set();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= left.zero()) return 0;
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
        const timespec wait{
            static_cast<std::time_t>(seconds.count()),
            static_cast<long>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count())};
        const int received = ::sigtimedwait(&set, nullptr, &wait);
        if (received > 0) return received;
        if (errno == EAGAIN) return 0;
    }
}

} // namespace quorin::host::os
