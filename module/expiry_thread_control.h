// Ownership of the module's one expiry thread.
#pragma once

namespace quorin {

// Starts the expiry thread; one that still runs is stopped and joined first.
// A thread that cannot be started is ignored: expiry is then simply off.
void start_expiry_thread();

// Stops the expiry thread, if one runs, and waits until it has ended: a
// sweep in progress ends between two directory entries or two deletions.
void stop_expiry_thread();

} // namespace quorin
