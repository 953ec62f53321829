// Revalidation: the entity tag of an image answer, its caching lines, and
// whether a client's copy is still current, decided from the request
// headers alone so that a current copy costs no cache-file access.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorin::host {

struct http_request;

// A strong entity tag, quoted: a digest of the cache key and the source's
// time, which between them fix every byte of the answer.
std::string entity_tag(const std::u16string& cache_key, std::uint64_t source_time);

// "Cache-Control: public, max-age=N", or no-cache for 0; one header line.
std::string cache_control_line(unsigned max_age_seconds);

// The request variant that the answer can depend on.
inline constexpr std::string_view vary_line = "Vary: Accept\r\n";

// Seconds since 1970 of an IMF-fixdate ("Sun, 06 Nov 1994 08:49:37 GMT").
std::optional<std::int64_t> parse_http_date(std::string_view text);

// True when the client's copy tagged/dated as in `request` is the answer
// the source of `source_time` gives: If-None-Match, when present, decides
// alone; otherwise If-Modified-Since at or after the source's second.
bool is_current_copy(const http_request& request, std::string_view etag, std::uint64_t source_time);

} // namespace quorin::host
