#include "expiry/stop_signal.h"

namespace quorin {

void stop_signal::request() {
    {
        // Set under the lock, so a pause between its check and its wait
        // cannot miss the wake-up.
        const std::lock_guard lock(mutex_);
        requested_.store(true, std::memory_order_release);
    }
    wake_.notify_all();
}

bool stop_signal::pause(std::chrono::seconds length) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, length, [this] { return requested(); });
}

} // namespace quorin
