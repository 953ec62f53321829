// The image formats a client can ask for with `format=`.
#pragma once

#include <optional>
#include <string_view>

namespace quorin::host {

enum class output_format { png, jpeg, gif, bmp, webp };

// The format a `format=` value names ("jpg" is taken for "jpeg"); nullopt
// for a name the host does not know.
std::optional<output_format> format_named(std::string_view name);

// The canonical name, as the access log, errors and cache names show it.
std::string_view format_name(output_format format);

// The file extension of a cache name.
std::string_view format_extension(output_format format);

} // namespace quorin::host
