#include "os/shutdown_signals.h"

#include <csignal>
#include <pthread.h>

namespace quorin::host::os {
namespace {

sigset_t shutdown_set() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
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

} // namespace quorin::host::os
