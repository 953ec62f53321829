#include "platform/posix/read_ahead.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <sched.h>

namespace quorin::platform::posix {
namespace {

// Buffers kept for the next hits, so that a hit allocates none. A file
// owns its buffer while it is open, so no two ever share one. At most
// `kept` wait unused (2 MiB); one given back beyond them is freed.
//
// They are kept in groups by the processor that gave them back, and a
// buffer is taken from the taker's group first: the last bytes read into
// it are then likely still in that processor's cache, and the group's
// places are not written from other processors' cores.
class buffer_pool {
public:
    ~buffer_pool() {
        for (auto& group : groups_) {
            for (auto& place : group.places) delete[] place.load(std::memory_order_acquire);
        }
    }

    std::byte* take() {
        std::byte* buffer = nullptr;
        any_place([&buffer](std::atomic<std::byte*>& place) {
            if (place.load(std::memory_order_relaxed) == nullptr) return false;
            buffer = place.exchange(nullptr, std::memory_order_acquire);
            return buffer != nullptr;
        });
        return buffer != nullptr ? buffer : new std::byte[read_ahead_size];
    }

    void give_back(std::byte* buffer) {
        const bool kept_here = any_place([buffer](std::atomic<std::byte*>& place) {
            std::byte* empty = nullptr;
            return place.compare_exchange_strong(empty, buffer, std::memory_order_release,
                                                 std::memory_order_relaxed);
        });
        if (!kept_here) delete[] buffer;
    }

private:
    static constexpr std::size_t group_count = 4;
    static constexpr std::size_t kept = 16;

    // Tries `attempt` on each place, the calling processor's group first,
    // until one succeeds; false when none did.
    template <typename Attempt>
    bool any_place(Attempt attempt) {
        const int processor = sched_getcpu();
        const std::size_t own = processor < 0 ? 0 : static_cast<std::size_t>(processor);
        for (std::size_t step = 0; step < group_count; ++step) {
            for (auto& place : groups_[(own + step) % group_count].places) {
                if (attempt(place)) return true;
            }
        }
        return false;
    }

    // A cache line each.
    struct alignas(64) group {
        std::array<std::atomic<std::byte*>, kept / group_count> places{};
    };
    std::array<group, group_count> groups_{};
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
