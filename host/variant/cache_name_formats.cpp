#include "variant/cache_name_formats.h"

#include <string>

namespace quorin::host {
namespace {

struct named_entry {
    std::u16string name; // its capacity is kept, so naming allocates rarely
    output_format format = output_format::jpeg;
};

thread_local named_entry last_named;

} // namespace

std::u16string_view cache_name_in(std::u16string_view path) {
    // Asked on every hit: a plain scan from the end, as the general search
    // for either separator costs several times as much.
    std::size_t start = path.size();
    while (start > 0 && path[start - 1] != u'/' && path[start - 1] != u'\\') --start;
    return path.substr(start);
}

void remember_cache_name(std::u16string_view name, output_format format) {
    last_named.name.assign(name);
    last_named.format = format;
}

std::optional<output_format> format_of_cache_name(std::u16string_view name) {
    if (last_named.name.empty() || name != last_named.name) return std::nullopt;
    return last_named.format;
}

} // namespace quorin::host
