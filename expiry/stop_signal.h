// A stop request for the expiry thread, which its pause can wait on.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace quorin {

// Built on a mutex and a condition variable alone. A standard stop token's
// callback, removed while another thread runs it, waits on an atomic whose
// wake-up the Windows toolchain's thread library can lose: a pause woken by
// one could leave the thread, and the host joining it, waiting for ever.
class stop_signal {
public:
    stop_signal() = default;
    stop_signal(const stop_signal&) = delete;
    stop_signal& operator=(const stop_signal&) = delete;

    // Requests the stop and wakes a waiting pause at once.
    void request();
    bool requested() const noexcept { return requested_.load(std::memory_order_acquire); }
    // Waits `length` unless a stop is requested first; false when stopped.
    bool pause(std::chrono::seconds length);

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> requested_{false};
};

} // namespace quorin
