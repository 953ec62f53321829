// The output format of the cache name a thread made last.
//
// A cache name fixes the format of what is stored under it (its extension,
// and its digest over the format's name), and the module stores under it
// only the converter's output for it. So the format of a cache file the
// host named is known from the name alone, without asking the file system,
// which a module does on every hit. A request names its entry on the
// thread that then calls the module, which asks about that name before the
// thread takes another request: the last name is all there is to keep.
#pragma once

#include <optional>
#include <string_view>

#include "variant/output_format.h"

namespace quorin::host {

// The last element of a cache key or cache file path: its cache name.
std::u16string_view cache_name_in(std::u16string_view path);

// Remembers `name`, made by the host on this thread, as holding `format`.
void remember_cache_name(std::u16string_view name, output_format format);

// The format of the name this thread made last; nullopt for any other.
std::optional<output_format> format_of_cache_name(std::u16string_view name);

} // namespace quorin::host
