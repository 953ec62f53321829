// The output format of each cache name the host made lately.
//
// A cache name fixes the format of what is stored under it (its extension,
// and its digest over the format's name), and the module stores under it
// only the converter's output for it. So the format of a cache file the
// host named is known from the name alone, without asking the file system,
// which a module does on every hit.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "variant/output_format.h"

namespace quorin::host {

// What is kept at most, the least recently used forgotten first. Each
// request names its entry just before the module asks about it, so only a
// request whose name was forgotten in between is not answered from it.
inline constexpr std::size_t kept_cache_names = 4096;

// The last element of a cache key or cache file path: its cache name.
std::u16string_view cache_name_in(std::u16string_view path);

// Remembers `name`, made by the host, as holding `format`. Safe to call
// from any thread.
void remember_cache_name(std::u16string_view name, output_format format);

// The format of a name the host made lately; nullopt for any other.
std::optional<output_format> format_of_cache_name(std::u16string_view name);

} // namespace quorin::host
