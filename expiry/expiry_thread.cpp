#include "expiry/expiry_thread.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>

#include "expiry/expiry_sweep.h"
#include "settings/module_settings.h"

namespace quorin {
namespace {

// Waits `length` unless stop is requested first; false when stopped.
bool pause(const std::stop_token& stop, std::chrono::seconds length) {
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    return !wake.wait_for(lock, stop, length, [&stop] { return stop.stop_requested(); });
}

} // namespace

void expiry_thread(std::stop_token stop) {
    while (module_settings.cache_delete_time != 0) {
        // Whole seconds in 64 bits: no interval wraps into a shorter pause.
        if (!pause(stop, std::chrono::seconds(std::int64_t{module_settings.interval}))) return;
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
