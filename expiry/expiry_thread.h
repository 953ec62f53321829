// The expiry thread's procedure.
#pragma once

#include <stop_token>

namespace quorin {

// While `cache_delete_time` is non-zero: pause `interval` seconds, then run
// one sweep. Returns at once when expiry is off. A stop request wakes the
// pause at once and ends a running sweep early, so the thread can be joined
// without waiting for a sweep to finish.
void expiry_thread(std::stop_token stop);

} // namespace quorin
