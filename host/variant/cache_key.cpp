#include "variant/cache_key.h"

#include "base/sha256_hex.h"
#include "base/utf16_text.h"
#include "variant/cache_name_formats.h"

namespace quorin::host {
namespace {

constexpr std::size_t stem_limit = 64;
constexpr std::size_t digest_hex_digits = 16;

// Where the file name begins: after the last '/', or at 0 when there is
// none (npos + 1).
std::size_t name_start(std::string_view relative_source) { return relative_source.rfind('/') + 1; }

// The file name without its last extension, as a path's stem is: a name
// whose only dot leads keeps it.
std::string_view stem_of(std::string_view relative_source) {
    const std::string_view name = relative_source.substr(name_start(relative_source));
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
}

// The base name kept readable and safe as a file name: ASCII letters,
// digits, '-', '.' and '_' stay, anything else becomes '_'.
std::string readable_stem(std::string_view relative_source) {
    std::string stem(stem_of(relative_source).substr(0, stem_limit));
    for (char& c : stem) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
        if (!keep) c = '_';
    }
    return stem;
}

std::string size_text(unsigned width, unsigned height) {
    return std::to_string(width) + 'x' + std::to_string(height);
}

std::string area_text(const image_area& area) {
    return "crop" + std::to_string(area.left) + '-' + std::to_string(area.top) + '-' +
           size_text(area.width, area.height);
}

// What fixes the pixels, as name-safe text: the size made, and the part
// kept when it is not the whole source.
std::string geometry_text(const resize_plan& plan) {
    std::string text = size_text(plan.output.width, plan.output.height);
    const image_area whole{0, 0, plan.source.width, plan.source.height};
    if (plan.kept != whole) text += '_' + area_text(plan.kept);
    if (plan.detail_search) text += "_smart_" + area_text(*plan.detail_search);
    return text;
}

// The request's box and mode, for a source of unknown size.
std::string box_text(const conversion_parameters& parameters) {
    std::string text;
    const auto add = [&text](const std::string& part) {
        if (!text.empty()) text += '_';
        text += part;
    };
    if (parameters.crop) add(area_text(*parameters.crop));
    if (parameters.width) add('w' + std::to_string(*parameters.width));
    if (parameters.height) add('h' + std::to_string(*parameters.height));
    if (parameters.fit != fit_mode::inside) add(std::string(fit_name(parameters.fit)));
    if (parameters.fit == fit_mode::cover) add(std::string(gravity_name(parameters.anchor)));
    return text;
}

bool takes_quality(output_format format) {
    return format == output_format::jpeg || format == output_format::webp ||
           format == output_format::avif;
}

} // namespace

std::string cache_name(std::string_view relative_source, const conversion_parameters& parameters,
                       const std::optional<resize_plan>& plan, output_format format) {
    std::string parameter_text = plan ? geometry_text(*plan) : box_text(parameters);
    if (takes_quality(format)) {
        if (!parameter_text.empty()) parameter_text += '_';
        parameter_text += 'q' + std::to_string(parameters.quality);
    }
    // The texts are unambiguous on their own; NUL separates them from the
    // path and the format, so that no two inputs run together.
    std::string digested(relative_source);
    digested.append(1, '\0').append(parameter_text).append(1, '\0').append(format_name(format));

    std::string name = readable_stem(relative_source);
    if (!parameter_text.empty()) name += '_' + parameter_text;
    name += '_' + sha256_hex(digested, digest_hex_digits);
    name += '.';
    name += format_extension(format);
    return name;
}

std::u16string cache_key(std::string_view relative_source, const conversion_parameters& parameters,
                         const std::optional<resize_plan>& plan, output_format format) {
    std::string key(relative_source.substr(0, name_start(relative_source)));
    key += cache_name(relative_source, parameters, plan, format);
    std::u16string wide = to_utf16(key);
    remember_cache_name(cache_name_in(wide), format);
    return wide;
}

std::string entity_tag(const std::u16string& cache_key, std::uint64_t source_time) {
    const std::string text = to_utf8(cache_key).value_or("") + '\0' + std::to_string(source_time);
    return "\"" + sha256_hex(text, 32) + "\"";
}

} // namespace quorin::host
