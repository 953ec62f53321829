// The expiry thread's procedure.
#pragma once

#include "expiry/stop_signal.h"

namespace quorin {

// While `cache_delete_time` is non-zero: pause `interval` seconds, then run
// one sweep. Returns at once when expiry is off. A stop request wakes the
// pause at once and ends a running sweep early, so the thread can be joined
// without waiting for a sweep to finish.
void expiry_thread(stop_signal& stop);

} // namespace quorin
