#include "convert/conversion_admission.h"

#include <algorithm>
#include <utility>

namespace quorin::host {

conversion_admission::ticket::ticket(ticket&& other) noexcept
    : owner_(std::exchange(other.owner_, nullptr)), bytes_(other.bytes_), verdict_(other.verdict_) {
}

void conversion_admission::ticket::release() {
    if (owner_ == nullptr) return;
    std::exchange(owner_, nullptr)->give_back(bytes_);
}

conversion_admission::conversion_admission(const admission_limits& limits)
    : limits_(limits), free_slots_(limits.slots), free_bytes_(limits.memory_bytes) {}

conversion_admission::ticket conversion_admission::admit(std::uint64_t bytes) {
    if (bytes > limits_.memory_bytes) return {nullptr, 0, admission_verdict::too_large};
    std::unique_lock lock(mutex_);
    if (closed_) return {nullptr, 0, admission_verdict::waited_too_long};
    // Behind whoever waits already, even when this one would fit: the
    // queue is served in order, so a large conversion is not passed over
    // for ever by small ones.
    if (queue_.empty() && fits(bytes)) {
        take(bytes);
        return {this, bytes, admission_verdict::granted};
    }
    if (queue_.size() >= limits_.queue_length) return {nullptr, 0, admission_verdict::queue_full};

    waiter self(bytes);
    queue_.push_back(&self);
    const auto deadline = std::chrono::steady_clock::now() + limits_.longest_wait;
    self.woken.wait_until(lock, deadline, [this, &self] { return self.granted || closed_; });
    if (self.granted) return {this, bytes, admission_verdict::granted};
    queue_.erase(std::find(queue_.begin(), queue_.end(), &self));
    // A head that gave up may have held back smaller ones that fit now.
    grant_waiting();
    return {nullptr, 0, admission_verdict::waited_too_long};
}

void conversion_admission::close() {
    const std::lock_guard lock(mutex_);
    closed_ = true;
    for (waiter* queued : queue_) queued->woken.notify_one();
}

std::size_t conversion_admission::waiting() const {
    const std::lock_guard lock(mutex_);
    return queue_.size();
}

void conversion_admission::take(std::uint64_t bytes) {
    --free_slots_;
    free_bytes_ -= bytes;
}

void conversion_admission::give_back(std::uint64_t bytes) {
    const std::lock_guard lock(mutex_);
    ++free_slots_;
    free_bytes_ += bytes;
    grant_waiting();
}

void conversion_admission::grant_waiting() {
    while (!closed_ && !queue_.empty() && fits(queue_.front()->bytes)) {
        waiter& next = *queue_.front();
        queue_.pop_front();
        take(next.bytes);
        next.granted = true;
        next.woken.notify_one();
    }
}

} // namespace quorin::host
