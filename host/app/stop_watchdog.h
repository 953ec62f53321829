// The last resort of a stop: when the orderly stop has not ended the
// process by its deadline (a handler stuck where no cut-off reaches it, a
// module slow to unload), it runs `before_exit` (killing the workers) and
// leaves at once with exit code 1.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace quorin::host {

class stop_watchdog {
public:
    stop_watchdog(std::chrono::steady_clock::time_point deadline,
                  std::function<void()> before_exit);
    // The orderly stop made it in time.
    ~stop_watchdog();
    stop_watchdog(const stop_watchdog&) = delete;
    stop_watchdog& operator=(const stop_watchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable finished_;
    bool done_ = false;
    std::thread thread_;
};

} // namespace quorin::host
