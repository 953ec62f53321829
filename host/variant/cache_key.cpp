#include "variant/cache_key.h"

#include <charconv>
#include <iterator>
#include <limits>

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

// Appends the base name kept readable and safe as a file name: ASCII
// letters, digits, '-', '.' and '_' stay, anything else becomes '_'.
void append_readable_stem(std::string& out, std::string_view relative_source) {
    for (const char c : stem_of(relative_source).substr(0, stem_limit)) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
        out += keep ? c : '_';
    }
}

// The texts below are appended in place: a hit names its entry, and
// building them from temporaries cost a dozen allocations.
// Decimal, as std::to_string writes it (a sign and one digit past
// digits10 fit).
template <typename Integer>
void append_number(std::string& out, Integer value) {
    char digits[std::numeric_limits<Integer>::digits10 + 2];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    out.append(digits, end);
}

void append_size(std::string& out, unsigned width, unsigned height) {
    append_number(out, width);
    out += 'x';
    append_number(out, height);
}

void append_area(std::string& out, const image_area& area) {
    out += "crop";
    append_number(out, area.left);
    out += '-';
    append_number(out, area.top);
    out += '-';
    append_size(out, area.width, area.height);
}

// What fixes the pixels, as name-safe text: the size made, and the part
// kept when it is not the whole source.
void append_geometry(std::string& out, const resize_plan& plan) {
    append_size(out, plan.output.width, plan.output.height);
    const image_area whole{0, 0, plan.source.width, plan.source.height};
    if (plan.kept != whole) {
        out += '_';
        append_area(out, plan.kept);
    }
    if (plan.detail_search) {
        out += "_smart_";
        append_area(out, *plan.detail_search);
    }
}

// The request's box and mode, for a source of unknown size.
void append_box(std::string& out, const conversion_parameters& parameters) {
    const std::size_t start = out.size();
    const auto next = [&out, start] {
        if (out.size() > start) out += '_';
    };
    if (parameters.crop) {
        next();
        append_area(out, *parameters.crop);
    }
    if (parameters.width) {
        next();
        out += 'w';
        append_number(out, *parameters.width);
    }
    if (parameters.height) {
        next();
        out += 'h';
        append_number(out, *parameters.height);
    }
    if (parameters.fit != fit_mode::inside) {
        next();
        out += fit_name(parameters.fit);
    }
    if (parameters.fit == fit_mode::cover) {
        next();
        out += gravity_name(parameters.anchor);
    }
}

bool takes_quality(output_format format) {
    return format == output_format::jpeg || format == output_format::webp ||
           format == output_format::avif;
}

// Appends the cache name: stem, parameters, digest, extension.
void append_cache_name(std::string& out, std::string_view relative_source,
                       const conversion_parameters& parameters,
                       const std::optional<resize_plan>& plan, output_format format) {
    // The texts are unambiguous on their own; NUL separates them from the
    // path and the format, so that no two inputs run together.
    std::string digested;
    digested.reserve(relative_source.size() + 64);
    digested.append(relative_source).append(1, '\0');
    const std::size_t parameters_start = digested.size();
    if (plan) {
        append_geometry(digested, *plan);
    } else {
        append_box(digested, parameters);
    }
    if (takes_quality(format)) {
        if (digested.size() > parameters_start) digested += '_';
        digested += 'q';
        append_number(digested, parameters.quality);
    }
    const std::size_t parameters_end = digested.size();
    digested.append(1, '\0').append(format_name(format));

    append_readable_stem(out, relative_source);
    if (parameters_end > parameters_start) {
        out += '_';
        out.append(
            std::string_view(digested).substr(parameters_start, parameters_end - parameters_start));
    }
    out += '_';
    append_sha256_hex(out, digested, digest_hex_digits);
    out += '.';
    out += format_extension(format);
}

} // namespace

std::string cache_name(std::string_view relative_source, const conversion_parameters& parameters,
                       const std::optional<resize_plan>& plan, output_format format) {
    std::string name;
    append_cache_name(name, relative_source, parameters, plan, format);
    return name;
}

std::u16string cache_key(std::string_view relative_source, const conversion_parameters& parameters,
                         const std::optional<resize_plan>& plan, output_format format) {
    std::string key;
    key.reserve(relative_source.size() + 64);
    key.append(relative_source.substr(0, name_start(relative_source)));
    append_cache_name(key, relative_source, parameters, plan, format);
    std::u16string wide = to_utf16(key);
    remember_cache_name(cache_name_in(wide), format);
    return wide;
}

std::string entity_tag(std::u16string_view cache_key, std::uint64_t source_time) {
    // Made for every hit: the text digested is put together in the
    // thread's own buffer, not in new strings. A key that is not valid
    // UTF-16 adds nothing to it.
    thread_local std::string text;
    text.clear();
    append_utf8(text, cache_key);
    text += '\0';
    append_number(text, source_time);
    std::string tag;
    tag.reserve(34);
    tag += '"';
    append_sha256_hex(tag, text, 32);
    tag += '"';
    return tag;
}

} // namespace quorin::host
