// The image formats a client can ask for with `format=`.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace quorin::host {

enum class output_format { png, jpeg, gif, bmp, webp, avif };
inline constexpr std::size_t output_format_count = 6;

// The format a `format=` value names ("jpg" is taken for "jpeg"); nullopt
// for a name the host does not know.
std::optional<output_format> format_named(std::string_view name);

// The canonical name, as the access log, errors and cache names show it.
std::string_view format_name(output_format format);

// The file extension of a cache name.
std::string_view format_extension(output_format format);

// Whether an Accept header lists `media_type` ("image/webp") by name with
// a quality above 0; wildcards do not count, as browsers send "*/*" for
// images they cannot show too.
bool accepts(std::string_view accept_header, std::string_view media_type);

} // namespace quorin::host
