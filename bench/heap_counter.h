// Live and peak bytes on the heap of the benchmark program: operator new and
// delete are replaced in heap_counter.cpp to count them.
#pragma once

#include <cstdint>

namespace quorin::bench {

std::int64_t live_heap_bytes();

// Starts a new peak at the bytes live now.
void reset_peak_heap();
std::int64_t peak_heap_bytes();

} // namespace quorin::bench
