// Counters of the running host, shown at /metrics in the Prometheus text
// format.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "base/thread_parts.h"
#include "telemetry/refusal.h"
#include "variant/output_format.h"

namespace quorin::host {

// What a request ended as; the image outcomes are the cache outcomes.
enum class request_kind { hit, stored, direct, page, error, not_modified };

class metrics {
public:
    // Upper bounds of the conversion time buckets, in seconds.
    static constexpr std::array<double, 10> conversion_buckets{0.005, 0.01, 0.025, 0.05, 0.1,
                                                               0.25,  0.5,  1.0,   2.5,  5.0};

    void record_request(request_kind kind);
    // Body bytes that reached the client's connection.
    void record_body_bytes(std::uint64_t bytes);
    void record_refusal(refusal cause);
    // Bytes of a converted image written to the cache.
    void record_stored(std::uint64_t bytes);
    // A conversion's time (decode, fit, encode) into `format`.
    void record_conversion(output_format format, std::chrono::steady_clock::duration time);

    // The exposition text.
    std::string render() const;

private:
    static constexpr std::size_t kind_count = 6;
    // Counted on every request: in the counting thread's part, summed
    // when shown.
    struct per_request {
        std::array<std::atomic<std::uint64_t>, kind_count> requests{};
        std::atomic<std::uint64_t> bytes_sent{0};
    };
    // What the parts have counted, summed once for a rendering.
    struct per_request_totals {
        std::array<std::uint64_t, kind_count> requests{};
        std::uint64_t bytes_sent = 0;
    };
    per_request_totals totals() const;

    thread_parts<per_request> per_request_;
    std::array<std::atomic<std::uint64_t>, refusal_count> refusals_{};
    std::atomic<std::uint64_t> bytes_stored_{0};
    struct conversion_times {
        std::array<std::atomic<std::uint64_t>, conversion_buckets.size() + 1> counts{};
        std::atomic<std::uint64_t> nanoseconds{0};
    };
    std::array<conversion_times, output_format_count> conversions_{};
};

} // namespace quorin::host
