#include "origin/origin_counters.h"

#include "base/metric_number.h"

namespace quorin::host {
namespace {

constexpr const char* result_names[fetch_result_count] = {
    "fetched", "not_modified", "missing", "too_large", "failed", "timed_out", "redirect_refused"};

} // namespace

void origin_counters::record(const fetch_outcome& outcome,
                             std::chrono::steady_clock::duration time) {
    results_[static_cast<std::size_t>(outcome.result)].fetch_add(1, std::memory_order_relaxed);
    bytes_.fetch_add(outcome.bytes, std::memory_order_relaxed);
    nanoseconds_.fetch_add(static_cast<std::uint64_t>(
                               std::chrono::duration_cast<std::chrono::nanoseconds>(time).count()),
                           std::memory_order_relaxed);
}

std::string origin_counters::render() const {
    std::string text;
    text += "# HELP quorin_host_origin_requests_total Requests made to the origin, by result.\n";
    text += "# TYPE quorin_host_origin_requests_total counter\n";
    std::uint64_t count = 0;
    for (std::size_t result = 0; result < fetch_result_count; ++result) {
        const auto value = results_[result].load(std::memory_order_relaxed);
        count += value;
        text += "quorin_host_origin_requests_total{result=\"" + std::string(result_names[result]) +
                "\"} " + std::to_string(value) + "\n";
    }
    text += "# HELP quorin_host_origin_body_bytes_total Body bytes fetched from the origin.\n";
    text += "# TYPE quorin_host_origin_body_bytes_total counter\n";
    text += "quorin_host_origin_body_bytes_total " +
            std::to_string(bytes_.load(std::memory_order_relaxed)) + "\n";
    const std::string seconds =
        metric_number(static_cast<double>(nanoseconds_.load(std::memory_order_relaxed)) / 1e9);
    text += "# HELP quorin_host_origin_seconds Time spent waiting for the origin.\n";
    text += "# TYPE quorin_host_origin_seconds summary\n";
    text += "quorin_host_origin_seconds_sum " + seconds + "\n";
    text += "quorin_host_origin_seconds_count " + std::to_string(count) + "\n";
    text += "# HELP quorin_host_origin_stale_answers_total Answers from a kept copy the origin "
            "could not confirm.\n";
    text += "# TYPE quorin_host_origin_stale_answers_total counter\n";
    text += "quorin_host_origin_stale_answers_total " +
            std::to_string(stale_answers_.load(std::memory_order_relaxed)) + "\n";
    return text;
}

} // namespace quorin::host
