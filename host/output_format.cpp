#include "output_format.h"

#include <array>

namespace quorin::host {
namespace {

struct format_names {
    output_format format;
    std::string_view name;
    std::string_view extension;
};

constexpr std::array<format_names, 5> formats{{
    {output_format::png, "png", "png"},
    {output_format::jpeg, "jpeg", "jpg"},
    {output_format::gif, "gif", "gif"},
    {output_format::bmp, "bmp", "bmp"},
    {output_format::webp, "webp", "webp"},
}};

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

} // namespace quorin::host
