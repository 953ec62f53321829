// Revalidation: an image answer's caching lines, and
// what the request's preconditions make of it, decided from the request
// headers alone so that a current copy or a failed condition costs no
// cache-file access.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorin::host {

struct http_request;

// "Cache-Control: public, max-age=N", or no-cache for 0; one header line.
std::string cache_control_line(unsigned max_age_seconds);

// The request variant that the answer can depend on.
inline constexpr std::string_view vary_line = "Vary: Accept\r\n";

// What an image answer's preconditions ask for, given its entity tag and
// source time, evaluated in HTTP's order: If-Match (strong; "*" matches
// the image that exists), else If-Unmodified-Since, fail the request;
// then If-None-Match (weak), else If-Modified-Since at or after the
// source's second, leave the client's copy current.
enum class precondition { proceed, not_modified, failed };
precondition evaluate_preconditions(const http_request& request, std::string_view etag,
                                    std::uint64_t source_time);

} // namespace quorin::host
