#include "variant/request_parameters.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "base/text.h"
#include "base/url_coding.h"

namespace quorin::host {
namespace {

// Digits only (no sign, no blanks), within [1, max].
std::optional<int> parse_bounded(std::string_view text, int max) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.front() == '-' ||
        text.front() == '+' || value < 1 || value > max) {
        return std::nullopt;
    }
    return value;
}

// The largest crop coordinate read: far past any source accepted, and
// small enough that a corner's sums cannot overflow.
constexpr int max_crop_coordinate = 999'999'999;

// "x,y,w,h": the left and top from 0, the width and height from 1.
std::optional<image_area> parse_crop(std::string_view text) {
    std::array<unsigned, 4> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto comma = text.find(',');
        if ((comma == std::string_view::npos) != (i + 1 == values.size())) return std::nullopt;
        const std::string_view field = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        const bool corner = i < 2;
        const auto value = corner && field == "0" ? 0 : parse_bounded(field, max_crop_coordinate);
        if (!value) return std::nullopt;
        values[i] = static_cast<unsigned>(*value);
    }
    return image_area{values[0], values[1], values[2], values[3]};
}

constexpr int hundredths_per_pixel = 100;

// The device pixel ratio, 1 to 4 with up to two decimals ("2", "1.5",
// "2.25"), in hundredths.
std::optional<int> parse_pixel_ratio(std::string_view text) {
    const auto point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
    if (whole.size() != 1 || fraction.size() > 2 ||
        (point != std::string_view::npos && fraction.empty()) ||
        whole.find_first_not_of("0123456789") != std::string_view::npos ||
        fraction.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    int hundredths = (whole[0] - '0') * hundredths_per_pixel;
    if (!fraction.empty()) hundredths += (fraction[0] - '0') * 10;
    if (fraction.size() == 2) hundredths += fraction[1] - '0';
    if (hundredths < hundredths_per_pixel || hundredths > 4 * hundredths_per_pixel)
        return std::nullopt;
    return hundredths;
}

std::string bound_message(std::string_view name, std::string_view value, int max) {
    return std::string(name) + " must be a whole number from 1 to " + std::to_string(max) +
           ", not '" + std::string(value) + "'";
}

constexpr std::array<std::string_view, 3> fit_names{"inside", "cover", "fill"};
constexpr std::array<std::string_view, 10> gravity_names{
    "center",    "north",     "south",     "east",      "west",
    "northeast", "northwest", "southeast", "southwest", "smart"};

// The index of `value` among `names`, as the enum it numbers.
template <typename Enum, std::size_t count>
std::optional<Enum> named(const std::array<std::string_view, count>& names,
                          std::string_view value) {
    const auto found = std::find(names.begin(), names.end(), value);
    if (found == names.end()) return std::nullopt;
    return static_cast<Enum>(found - names.begin());
}

template <std::size_t count>
std::string choice_message(std::string_view name, const std::array<std::string_view, count>& names,
                           std::string_view value) {
    std::string message = std::string(name) + " must be ";
    for (std::size_t i = 0; i < count; ++i) {
        message += names[i];
        message += i + 2 < count ? ", " : i + 1 < count ? " or " : "";
    }
    return message + ", not '" + std::string(value) + "'";
}

// Applies one name=value pair; an error message, or empty. The pixel
// ratio is kept apart, as it applies to the box once all is read.
std::string apply(conversion_parameters& parameters, std::string_view name, std::string_view value,
                  unsigned& seen, int& pixel_ratio) {
    static constexpr std::array<std::string_view, 8> names = {"w",   "h",       "format", "q",
                                                              "fit", "gravity", "dpr",    "crop"};
    const auto bit =
        static_cast<unsigned>(std::find(names.begin(), names.end(), name) - names.begin());
    if (bit == names.size()) {
        return "unknown parameter '" + std::string(name) +
               "' (known: w, h, dpr, crop, fit, gravity, format, q)";
    }
    if (seen & (1u << bit)) return "parameter '" + std::string(name) + "' given twice";
    seen |= 1u << bit;

    if (name == "format") {
        parameters.negotiate_format = value == "auto";
        parameters.format = format_named(value);
        if (!parameters.format && !parameters.negotiate_format) {
            return "format must be png, jpeg, gif, bmp, webp, avif or auto, not '" +
                   std::string(value) + "'";
        }
        return {};
    }
    if (name == "fit") {
        const auto fit = named<fit_mode>(fit_names, value);
        if (!fit) return choice_message(name, fit_names, value);
        parameters.fit = *fit;
        return {};
    }
    if (name == "dpr") {
        const auto ratio = parse_pixel_ratio(value);
        if (!ratio) {
            return "dpr must be a number from 1 to 4 with at most two decimals, not '" +
                   std::string(value) + "'";
        }
        pixel_ratio = *ratio;
        return {};
    }
    if (name == "crop") {
        parameters.crop = parse_crop(value);
        if (!parameters.crop) {
            return "crop must be x,y,w,h: whole numbers, w and h from 1, not '" +
                   std::string(value) + "'";
        }
        return {};
    }
    if (name == "gravity") {
        const auto anchor = named<gravity>(gravity_names, value);
        if (!anchor) return choice_message(name, gravity_names, value);
        parameters.anchor = *anchor;
        return {};
    }
    const int max = name == "q" ? 100 : max_dimension;
    const auto number = parse_bounded(value, max);
    if (!number) return bound_message(name, value, max);
    if (name == "w") parameters.width = number;
    if (name == "h") parameters.height = number;
    if (name == "q") parameters.quality = *number;
    return {};
}

} // namespace

std::variant<conversion_parameters, std::string> parse_parameters(std::string_view query) {
    conversion_parameters parameters;
    unsigned seen = 0;
    int pixel_ratio = hundredths_per_pixel;
    std::string error;
    for_each_field(query, '&', [&](std::string_view pair) {
        const auto equals = pair.find('=');
        const auto name = percent_decode(pair.substr(0, equals));
        const auto value = percent_decode(
            equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1));
        error = !name || !value ? "malformed percent-escape in the query"
                                : apply(parameters, *name, *value, seen, pixel_ratio);
        return error.empty();
    });
    if (!error.empty()) return error;
    if (parameters.fit != fit_mode::inside && (!parameters.width || !parameters.height)) {
        return "fit=" + std::string(fit_name(parameters.fit)) + " needs both w and h";
    }
    for (auto* side : {&parameters.width, &parameters.height}) {
        if (!*side) continue;
        **side = (**side * pixel_ratio + hundredths_per_pixel / 2) / hundredths_per_pixel;
        if (**side > max_dimension) {
            return "w and h times dpr must be at most " + std::to_string(max_dimension);
        }
    }
    return parameters;
}

std::optional<resize_plan> plan_for(image_size shown, const conversion_parameters& parameters) {
    if (parameters.crop) {
        return plan_resize(shown, *parameters.crop, parameters.fit, parameters.anchor,
                           parameters.width, parameters.height);
    }
    return plan_resize(shown, parameters.fit, parameters.anchor, parameters.width,
                       parameters.height);
}

std::string_view fit_name(fit_mode fit) { return fit_names[static_cast<std::size_t>(fit)]; }

std::string_view gravity_name(gravity anchor) {
    return gravity_names[static_cast<std::size_t>(anchor)];
}

} // namespace quorin::host
