#include "app/stop_watchdog.h"

#include <iostream>

#include "os/immediate_exit.h"

namespace quorin::host {

stop_watchdog::stop_watchdog(std::chrono::steady_clock::time_point deadline,
                             std::function<void()> before_exit)
    : thread_([this, deadline, before_exit = std::move(before_exit)] {
          std::unique_lock lock(mutex_);
          if (finished_.wait_until(lock, deadline, [this] { return done_; })) return;
          std::cerr << "quorin-host: the stop overran its time; leaving at once" << std::endl;
          before_exit();
          os::exit_at_once(1);
      }) {}

stop_watchdog::~stop_watchdog() {
    {
        const std::lock_guard lock(mutex_);
        done_ = true;
    }
    finished_.notify_one();
    thread_.join();
}

} // namespace quorin::host
