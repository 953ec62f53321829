#include "telemetry/refusal.h"

#include <array>

namespace quorin::host {
namespace {

// Busy for now: a client may come back in a moment.
constexpr std::string_view come_back = "Retry-After: 1\r\n";
constexpr std::string_view too_busy = "too many conversions are waiting; try again shortly";

// In the order of the causes.
constexpr std::array<refusal_row, refusal_count> rows{{
    {"403 Forbidden", "path", "the path leads out of the images directory", {}},
    {"403 Forbidden", "signature", "this server serves signed image URLs only", {}},
    {"400 Bad Request", "size", "w and h must be one of the boxes {}", {}},
    {"400 Bad Request", "parameters", "{}", {}},
    {"400 Bad Request", "format", "format {} cannot be written here", {}},
    {"503 Service Unavailable", "queue_full", too_busy, come_back},
    {"503 Service Unavailable", "queue_wait", too_busy, come_back},
    {"422 Unprocessable Content", "memory", "{} is too large for the conversion memory", {}},
    // The worker is the server's upstream, and it did not answer in time;
    // the same request may well succeed on a less busy server.
    {"504 Gateway Timeout", "timeout", "{} took too long to convert", {}},
}};

} // namespace

const refusal_row& row_of(refusal cause) { return rows.at(static_cast<std::size_t>(cause)); }

std::string refusal_text(refusal cause, std::string_view detail) {
    const std::string_view text = row_of(cause).text;
    const auto place = text.find("{}");
    if (place == std::string_view::npos) return std::string(text);
    std::string made(text.substr(0, place));
    made += detail;
    made += text.substr(place + 2);
    return made;
}

} // namespace quorin::host
