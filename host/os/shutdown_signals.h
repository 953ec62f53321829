// SIGINT and SIGTERM as an orderly stop request, taken by one waiting
// thread instead of an asynchronous handler.
#pragma once

namespace quorin::host::os {

// Blocks SIGINT and SIGTERM in the calling thread and every thread it
// starts afterwards, and ignores SIGPIPE so that a client that hangs up
// only fails a write. Call first thing in main, before any thread exists.
void block_shutdown_signals();

// Waits until SIGINT or SIGTERM arrives; returns its number.
int wait_for_shutdown_signal();

} // namespace quorin::host::os
