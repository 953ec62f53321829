// Counters of the requests made to the origin, for /metrics: how many by
// result, the body bytes fetched and the time spent waiting.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "origin/origin_fetch.h"

namespace quorin::host {

class origin_counters {
public:
    void record(const fetch_outcome& outcome, std::chrono::steady_clock::duration time);
    // An answer from a copy the origin could not confirm.
    void record_stale_answer() { stale_answers_.fetch_add(1, std::memory_order_relaxed); }

    // The exposition lines.
    std::string render() const;

private:
    std::array<std::atomic<std::uint64_t>, fetch_result_count> results_{};
    std::atomic<std::uint64_t> bytes_{0};
    std::atomic<std::uint64_t> nanoseconds_{0};
    std::atomic<std::uint64_t> stale_answers_{0};
};

} // namespace quorin::host
