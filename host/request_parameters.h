// The query parameters of an image request: w, h, format and q.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "output_format.h"

namespace quorin::host {

inline constexpr int max_dimension = 8192;
inline constexpr int default_quality = 85;

struct conversion_parameters {
    std::optional<int> width;            // box width, 1..max_dimension
    std::optional<int> height;           // box height, 1..max_dimension
    std::optional<output_format> format; // none: the source's own format
    int quality = default_quality;       // JPEG and WebP quality, 1..100
};

// Parses the raw (still percent-encoded) query string. On a bad value,
// an unknown or repeated name, the result is a message for the client.
std::variant<conversion_parameters, std::string> parse_parameters(std::string_view query);

// Decodes %XX escapes and '+' as a space; nullopt for a malformed escape.
std::optional<std::string> percent_decode(std::string_view text);

} // namespace quorin::host
