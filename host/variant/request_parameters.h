// The query parameters of an image request: w, h, fit, gravity, format
// and q.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "variant/output_format.h"
#include "variant/resize_box.h"

namespace quorin::host {

inline constexpr int max_dimension = 8192;
inline constexpr int default_quality = 85;

struct conversion_parameters {
    std::optional<int> width;  // box width, 1..max_dimension
    std::optional<int> height; // box height, 1..max_dimension
    fit_mode fit = fit_mode::inside;
    gravity anchor = gravity::center;    // the part a cover crop keeps
    std::optional<output_format> format; // none: the source's own format
    bool negotiate_format = false;       // format=auto: AVIF or WebP when the client takes it
    int quality = default_quality;       // JPEG, WebP and AVIF quality, 1..100
};

// Parses the raw (still percent-encoded) query string. On a bad value,
// an unknown or repeated name, or a cover or fill without both w and h,
// the result is a message for the client.
std::variant<conversion_parameters, std::string> parse_parameters(std::string_view query);

// The names the query uses.
std::string_view fit_name(fit_mode fit);
std::string_view gravity_name(gravity anchor);

} // namespace quorin::host
