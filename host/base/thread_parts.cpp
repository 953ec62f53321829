#include "base/thread_parts.h"

#include <atomic>

namespace quorin::host {

std::size_t this_thread_part() {
    static std::atomic<std::size_t> next{0};
    thread_local const std::size_t part =
        next.fetch_add(1, std::memory_order_relaxed) % thread_part_count;
    return part;
}

} // namespace quorin::host
