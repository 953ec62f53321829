#include "telemetry/metrics.h"

#include "base/metric_number.h"

namespace quorin::host {
namespace {

constexpr const char* kind_names[] = {"hit", "stored", "direct", "page", "error", "not_modified"};

#ifndef QUORIN_VERSION
#define QUORIN_VERSION "unknown"
#endif

} // namespace

void metrics::record_request(request_kind kind) {
    per_request_.mine().requests[static_cast<std::size_t>(kind)].fetch_add(
        1, std::memory_order_relaxed);
}

void metrics::record_body_bytes(std::uint64_t bytes) {
    per_request_.mine().bytes_sent.fetch_add(bytes, std::memory_order_relaxed);
}

void metrics::record_refusal(refusal cause) {
    refusals_[static_cast<std::size_t>(cause)].fetch_add(1, std::memory_order_relaxed);
}

void metrics::record_stored(std::uint64_t bytes) {
    bytes_stored_.fetch_add(bytes, std::memory_order_relaxed);
}

void metrics::record_conversion(output_format format, std::chrono::steady_clock::duration time) {
    conversion_times& times = conversions_[static_cast<std::size_t>(format)];
    const double seconds = std::chrono::duration<double>(time).count();
    std::size_t bucket = 0;
    while (bucket < conversion_buckets.size() && seconds > conversion_buckets[bucket]) ++bucket;
    times.counts[bucket].fetch_add(1, std::memory_order_relaxed);
    times.nanoseconds.fetch_add(
        static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(time).count()),
        std::memory_order_relaxed);
}

metrics::per_request_totals metrics::totals() const {
    per_request_totals sum;
    per_request_.each([&sum](const per_request& part) {
        for (std::size_t kind = 0; kind < kind_count; ++kind)
            sum.requests[kind] += part.requests[kind].load(std::memory_order_relaxed);
        sum.bytes_sent += part.bytes_sent.load(std::memory_order_relaxed);
    });
    return sum;
}

std::string metrics::render() const {
    const per_request_totals counted = totals();
    std::string text;
    text += "# HELP quorin_host_requests_total Requests answered, by outcome.\n";
    text += "# TYPE quorin_host_requests_total counter\n";
    for (std::size_t kind = 0; kind < kind_count; ++kind) {
        text += "quorin_host_requests_total{outcome=\"" + std::string(kind_names[kind]) + "\"} " +
                std::to_string(counted.requests[kind]) + "\n";
    }

    text += "# HELP quorin_host_conversion_seconds Time spent decoding, fitting and encoding "
            "images, by output format.\n";
    text += "# TYPE quorin_host_conversion_seconds histogram\n";
    for (std::size_t format = 0; format < output_format_count; ++format) {
        const conversion_times& times = conversions_[format];
        const std::string label =
            "format=\"" + std::string(format_name(static_cast<output_format>(format))) + "\"";
        std::uint64_t cumulative = 0;
        for (std::size_t bucket = 0; bucket <= conversion_buckets.size(); ++bucket) {
            cumulative += times.counts[bucket].load(std::memory_order_relaxed);
            const std::string bound = bucket < conversion_buckets.size()
                                          ? metric_number(conversion_buckets[bucket])
                                          : std::string("+Inf");
            text += "quorin_host_conversion_seconds_bucket{" + label + ",le=\"" + bound + "\"} " +
                    std::to_string(cumulative) + "\n";
        }
        text += "quorin_host_conversion_seconds_sum{" + label + "} " +
                metric_number(
                    static_cast<double>(times.nanoseconds.load(std::memory_order_relaxed)) / 1e9) +
                "\n";
        text += "quorin_host_conversion_seconds_count{" + label + "} " +
                std::to_string(cumulative) + "\n";
    }

    text += "# HELP quorin_host_response_body_bytes_total Body bytes sent to clients.\n";
    text += "# TYPE quorin_host_response_body_bytes_total counter\n";
    text += "quorin_host_response_body_bytes_total " + std::to_string(counted.bytes_sent) + "\n";

    text += "# HELP quorin_host_refusals_total Image requests refused before conversion or "
            "stopped in it, by status and cause.\n";
    text += "# TYPE quorin_host_refusals_total counter\n";
    for (std::size_t cause = 0; cause < refusal_count; ++cause) {
        const refusal_row& row = row_of(static_cast<refusal>(cause));
        text += "quorin_host_refusals_total{status=\"" + std::string(row.status_line.substr(0, 3)) +
                "\",cause=\"" + std::string(row.label) + "\"} " +
                std::to_string(refusals_[cause].load(std::memory_order_relaxed)) + "\n";
    }

    text += "# HELP quorin_host_stored_bytes_total Bytes of converted images written to the "
            "cache.\n";
    text += "# TYPE quorin_host_stored_bytes_total counter\n";
    text += "quorin_host_stored_bytes_total " +
            std::to_string(bytes_stored_.load(std::memory_order_relaxed)) + "\n";

    text += "# HELP quorin_host_build_info The running build.\n";
    text += "# TYPE quorin_host_build_info gauge\n";
    text += "quorin_host_build_info{version=\"" QUORIN_VERSION "\"} 1\n";
    return text;
}

} // namespace quorin::host
