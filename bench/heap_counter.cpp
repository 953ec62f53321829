#include "heap_counter.h"

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace quorin::bench {
namespace {

std::atomic<std::int64_t> live{0};
std::atomic<std::int64_t> peak{0};

void count_allocated(void* block) {
    const auto size = static_cast<std::int64_t>(::malloc_usable_size(block));
    const auto now = live.fetch_add(size) + size;
    auto highest = peak.load();
    while (now > highest && !peak.compare_exchange_weak(highest, now)) {}
}

} // namespace

std::int64_t live_heap_bytes() { return live.load(); }
void reset_peak_heap() { peak.store(live.load()); }
std::int64_t peak_heap_bytes() { return peak.load(); }

} // namespace quorin::bench

void* operator new(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    quorin::bench::count_allocated(block);
    return block;
}

void operator delete(void* block) noexcept {
    if (block == nullptr) return;
    quorin::bench::live.fetch_sub(static_cast<std::int64_t>(::malloc_usable_size(block)));
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept { operator delete(block); }
