#include "variant/output_format.h"

#include <algorithm>
#include <array>

#include "base/text.h"

namespace quorin::host {
namespace {

struct format_names {
    output_format format;
    std::string_view name;
    std::string_view extension;
};

constexpr std::array<format_names, output_format_count> formats{{
    {output_format::png, "png", "png"},
    {output_format::jpeg, "jpeg", "jpg"},
    {output_format::gif, "gif", "gif"},
    {output_format::bmp, "bmp", "bmp"},
    {output_format::webp, "webp", "webp"},
    {output_format::avif, "avif", "avif"},
}};

// Whether a range's parameters ("; q=0.5") refuse it: q=0, 0.0, 0.000.
bool refused(std::string_view parameters) {
    while (!parameters.empty()) {
        const auto semicolon = parameters.find(';');
        const std::string_view parameter = trimmed(parameters.substr(0, semicolon));
        parameters = semicolon == std::string_view::npos ? std::string_view{}
                                                         : parameters.substr(semicolon + 1);
        if (parameter.size() >= 2 && (parameter[0] == 'q' || parameter[0] == 'Q') &&
            parameter[1] == '=') {
            return parameter.substr(2).find_first_not_of("0.") == std::string_view::npos;
        }
    }
    return false;
}

const format_names& names_of(output_format format) {
    return formats[static_cast<std::size_t>(format)];
}

} // namespace

std::optional<output_format> format_named(std::string_view name) {
    if (name == "jpg") return output_format::jpeg;
    for (const auto& entry : formats) {
        if (entry.name == name) return entry.format;
    }
    return std::nullopt;
}

std::string_view format_name(output_format format) { return names_of(format).name; }

std::string_view format_extension(output_format format) { return names_of(format).extension; }

bool accepts(std::string_view accept_header, std::string_view media_type) {
    while (!accept_header.empty()) {
        const auto comma = accept_header.find(',');
        const std::string_view range = accept_header.substr(0, comma);
        accept_header =
            comma == std::string_view::npos ? std::string_view{} : accept_header.substr(comma + 1);
        const auto semicolon = range.find(';');
        if (equal_ignoring_case(trimmed(range.substr(0, semicolon)), media_type)) {
            return semicolon == std::string_view::npos || !refused(range.substr(semicolon + 1));
        }
    }
    return false;
}

} // namespace quorin::host
