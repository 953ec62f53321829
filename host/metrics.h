// Counters of the running host, shown at /metrics in the Prometheus text
// format.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "conversion_job.h"

namespace quorin::host {

// What a request ended as; the image outcomes are the cache outcomes.
enum class request_kind { hit, stored, direct, page, error };

class metrics {
public:
    // Upper bounds of the conversion time buckets, in seconds.
    static constexpr std::array<double, 10> conversion_buckets{0.005, 0.01, 0.025, 0.05, 0.1,
                                                               0.25,  0.5,  1.0,   2.5,  5.0};

    void record_request(request_kind kind, std::uint64_t body_bytes);
    void record_conversion(std::chrono::steady_clock::duration time);

    // The exposition text.
    std::string render() const;

private:
    static constexpr std::size_t kind_count = 5;
    std::array<std::atomic<std::uint64_t>, kind_count> requests_{};
    std::atomic<std::uint64_t> bytes_sent_{0};
    std::array<std::atomic<std::uint64_t>, conversion_buckets.size() + 1> conversion_counts_{};
    std::atomic<std::uint64_t> conversion_nanoseconds_{0};
};

// The kind of an image answer from its cache outcome; `error` when none.
request_kind kind_of(cache_outcome outcome);

} // namespace quorin::host
