#include "platform/posix/read_ahead.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

namespace quorin::platform::posix {
namespace {

// Buffers kept for the next hits, so that a hit allocates none. A file
// owns its buffer while it is open, so no two ever share one. At most
// `kept` wait unused (2 MiB); one given back beyond them is freed.
class buffer_pool {
public:
    ~buffer_pool() {
        for (auto& place : places_) delete[] place.load(std::memory_order_acquire);
    }

    std::byte* take() {
        for (auto& place : places_) {
            if (place.load(std::memory_order_relaxed) == nullptr) continue;
            if (std::byte* buffer = place.exchange(nullptr, std::memory_order_acquire))
                return buffer;
        }
        return new std::byte[read_ahead_size];
    }

    void give_back(std::byte* buffer) {
        for (auto& place : places_) {
            std::byte* empty = nullptr;
            if (place.compare_exchange_strong(empty, buffer, std::memory_order_release,
                                              std::memory_order_relaxed)) {
                return;
            }
        }
        delete[] buffer;
    }

private:
    static constexpr std::size_t kept = 16;
    std::array<std::atomic<std::byte*>, kept> places_{};
};

constinit buffer_pool pool;

} // namespace

void read_ahead::give_back::operator()(std::byte* buffer) const { pool.give_back(buffer); }

std::size_t read_ahead::take(void* buffer, std::size_t capacity) {
    const std::size_t count = std::min(capacity, end_ - begin_);
    if (count > 0) std::memcpy(buffer, buffer_.get() + begin_, count);
    begin_ += count;
    return count;
}

void* read_ahead::space() {
    if (!buffer_) buffer_.reset(pool.take());
    return buffer_.get();
}

void read_ahead::hold(std::size_t count) {
    begin_ = 0;
    end_ = count;
}

} // namespace quorin::platform::posix
