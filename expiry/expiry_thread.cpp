#include "expiry/expiry_thread.h"

#include <chrono>
#include <cstdint>
#include <new>

#include "expiry/expiry_sweep.h"
#include "settings/module_settings.h"

namespace quorin {

void expiry_thread(stop_signal& stop) {
    while (module_settings.cache_delete_time != 0) {
        // Whole seconds in 64 bits: no interval wraps into a shorter pause.
        if (!stop.pause(std::chrono::seconds(std::int64_t{module_settings.interval}))) return;
        try {
            expiry_sweep(stop);
        } catch (const std::bad_alloc&) {
            // Out of memory: the sweep's list and log are released by the
            // unwinding, and the host process is not taken down for
            // housekeeping. The next sweep tries again.
        }
    }
}

} // namespace quorin
