// Why an image request was refused, and the one table that says, for each
// cause, the answer's status, its metrics label and its text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorin::host {

// Before any conversion: the request itself or its conversion's admission;
// or its conversion ran past its time.
enum class refusal {
    path,
    signature,
    size,
    parameters,
    format,
    queue_full,
    queue_wait,
    memory,
    timeout
};
inline constexpr std::size_t refusal_count = 9;

struct refusal_row {
    std::string_view status_line;   // "403 Forbidden"
    std::string_view label;         // the metrics' cause
    std::string_view text;          // "{}" stands for the request's detail
    std::string_view extra_headers; // whole lines, each ending in CRLF
};

const refusal_row& row_of(refusal cause);

// The answer's text, `detail` (a path, a parser's message, a list) put in
// its place.
std::string refusal_text(refusal cause, std::string_view detail);

} // namespace quorin::host
