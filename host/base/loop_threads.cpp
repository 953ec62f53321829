#include "base/loop_threads.h"

#include <algorithm>

namespace quorin::host {
namespace {

thread_local loop_threads* current_pool = nullptr;

} // namespace

loop_threads::loop_threads(unsigned active, unsigned most, std::function<bool()> run_once)
    : active_(active == 0 ? 1 : active), most_(most < active_ ? active_ : most),
      run_once_(std::move(run_once)) {
    running_.store(active_, std::memory_order_relaxed);
    for (unsigned i = 0; i < active_; ++i) start_thread();
}

loop_threads::~loop_threads() {
    // A thread still in a handler may start a stand-in until it leaves, so
    // this repeats until none is left.
    for (;;) {
        std::list<std::thread> leaving;
        {
            std::lock_guard lock(mutex_);
            if (threads_.empty()) return;
            leaving.swap(threads_);
            finished_.clear();
        }
        for (auto& thread : leaving) thread.join();
    }
}

void loop_threads::start_thread() {
    std::lock_guard lock(mutex_);
    // The stand-ins that left are joined here, so that they do not pile up.
    for (const auto id : finished_) {
        const auto gone = std::find_if(threads_.begin(), threads_.end(),
                                       [id](const std::thread& t) { return t.get_id() == id; });
        if (gone != threads_.end()) {
            gone->join();
            threads_.erase(gone);
        }
    }
    finished_.clear();
    threads_.emplace_back([this] { run(); });
}

bool loop_threads::leaves_as_surplus() {
    unsigned running = running_.load(std::memory_order_relaxed);
    while (running > active_ + blocked_.load(std::memory_order_relaxed)) {
        if (running_.compare_exchange_weak(running, running - 1)) return true;
    }
    return false;
}

void loop_threads::run() {
    current_pool = this;
    // A stand-in whose blocked thread came back leaves, so that the loop
    // again has `active` threads.
    bool left_as_surplus = false;
    while (!left_as_surplus && run_once_()) left_as_surplus = leaves_as_surplus();
    if (!left_as_surplus) running_.fetch_sub(1, std::memory_order_relaxed);
    std::lock_guard lock(mutex_);
    finished_.push_back(std::this_thread::get_id());
}

void loop_threads::blocking_begins() {
    const unsigned blocked = blocked_.fetch_add(1, std::memory_order_relaxed) + 1;
    unsigned running = running_.load(std::memory_order_relaxed);
    while (running < active_ + blocked && running < most_) {
        if (running_.compare_exchange_weak(running, running + 1)) {
            start_thread();
            return;
        }
    }
}

void loop_threads::blocking_ends() { blocked_.fetch_sub(1, std::memory_order_relaxed); }

blocking_region::blocking_region() : pool_(current_pool) {
    if (pool_ != nullptr) pool_->blocking_begins();
}

blocking_region::~blocking_region() {
    if (pool_ != nullptr) pool_->blocking_ends();
}

} // namespace quorin::host
