// SIGINT and SIGTERM as an orderly stop request and SIGHUP as a request to
// reopen the log, taken by one waiting thread instead of an asynchronous
// handler.
#pragma once

#include <chrono>

namespace quorin::host::os {

// Blocks SIGINT, SIGTERM and SIGHUP in the calling thread and every thread
// it starts afterwards, and ignores SIGPIPE so that a client that hangs up
// only fails a write. Call first thing in main, before any thread exists.
void block_shutdown_signals();

// Waits until SIGINT, SIGTERM or SIGHUP arrives; returns its number.
int wait_for_shutdown_signal();

// The same for at most `timeout`; 0 when none arrived.
int wait_for_shutdown_signal(std::chrono::milliseconds timeout);

} // namespace quorin::host::os
