// The query parameters of an image request: w, h, dpr, crop, fit,
// gravity, format and q.
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
    // The box in output pixels, 1..max_dimension: `dpr` (the device's
    // pixels per CSS pixel, 1 to 4) is folded in while parsing, so that
    // w=100&dpr=2 and w=200 are one request.
    std::optional<int> width;
    std::optional<int> height;
    std::optional<image_area> crop; // the part of the source kept, in its pixels as shown
    fit_mode fit = fit_mode::inside;
    gravity anchor = gravity::center;    // the part a cover crop keeps
    std::optional<output_format> format; // none: the source's own format
    bool negotiate_format = false;       // format=auto: AVIF or WebP when the client takes it
    int quality = default_quality;       // JPEG, WebP and AVIF quality, 1..100
};

// Parses the raw (still percent-encoded) query string. On a bad value,
// an unknown or repeated name, a cover or fill without both w and h, or a
// box past max_dimension once multiplied by dpr, the result is a message
// for the client.
std::variant<conversion_parameters, std::string> parse_parameters(std::string_view query);

// The plan for a source of `shown` size: its crop, then the fit. nullopt
// when the crop does not lie within the source.
std::optional<resize_plan> plan_for(image_size shown, const conversion_parameters& parameters);

// The names the query uses.
std::string_view fit_name(fit_mode fit);
std::string_view gravity_name(gravity anchor);

} // namespace quorin::host
