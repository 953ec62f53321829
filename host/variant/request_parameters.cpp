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

std::string bound_message(std::string_view name, std::string_view value, int max) {
    return std::string(name) + " must be a whole number from 1 to " + std::to_string(max) +
           ", not '" + std::string(value) + "'";
}

constexpr std::array<std::string_view, 3> fit_names{"inside", "cover", "fill"};
constexpr std::array<std::string_view, 9> gravity_names{
    "center", "north", "south", "east", "west", "northeast", "northwest", "southeast", "southwest"};

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

// Applies one name=value pair; an error message, or empty.
std::string apply(conversion_parameters& parameters, std::string_view name, std::string_view value,
                  unsigned& seen) {
    static constexpr std::array<std::string_view, 6> names = {"w", "h",   "format",
                                                              "q", "fit", "gravity"};
    const auto bit =
        static_cast<unsigned>(std::find(names.begin(), names.end(), name) - names.begin());
    if (bit == names.size()) {
        return "unknown parameter '" + std::string(name) +
               "' (known: w, h, fit, gravity, format, q)";
    }
    if (seen & (1u << bit)) return "parameter '" + std::string(name) + "' given twice";
    seen |= 1u << bit;

    if (name == "format") {
        parameters.negotiate_format = value == "auto";
        parameters.format = format_named(value);
        if (!parameters.format && !parameters.negotiate_format) {
            return "format must be png, jpeg, gif, bmp, webp or auto, not '" + std::string(value) +
                   "'";
        }
        return {};
    }
    if (name == "fit") {
        const auto fit = named<fit_mode>(fit_names, value);
        if (!fit) return choice_message(name, fit_names, value);
        parameters.fit = *fit;
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
    std::string error;
    for_each_field(query, '&', [&](std::string_view pair) {
        const auto equals = pair.find('=');
        const auto name = percent_decode(pair.substr(0, equals));
        const auto value = percent_decode(
            equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1));
        error = !name || !value ? "malformed percent-escape in the query"
                                : apply(parameters, *name, *value, seen);
        return error.empty();
    });
    if (!error.empty()) return error;
    if (parameters.fit != fit_mode::inside && (!parameters.width || !parameters.height)) {
        return "fit=" + std::string(fit_name(parameters.fit)) + " needs both w and h";
    }
    return parameters;
}

std::string_view fit_name(fit_mode fit) { return fit_names[static_cast<std::size_t>(fit)]; }

std::string_view gravity_name(gravity anchor) {
    return gravity_names[static_cast<std::size_t>(anchor)];
}

} // namespace quorin::host
