#include "variant/cache_name_formats.h"

#include <functional>
#include <string>

#include "base/bounded_memo.h"

namespace quorin::host {
namespace {

// Looks a name up without copying it into a string.
struct name_hash {
    using is_transparent = void;
    std::size_t operator()(std::u16string_view name) const {
        return std::hash<std::u16string_view>{}(name);
    }
};

using name_formats = bounded_memo<std::u16string, output_format, name_hash>;

name_formats& made_names() {
    static name_formats names(kept_cache_names);
    return names;
}

} // namespace

std::u16string_view cache_name_in(std::u16string_view path) {
    // Asked on every hit: a plain scan from the end, as the general search
    // for either separator costs several times as much.
    std::size_t start = path.size();
    while (start > 0 && path[start - 1] != u'/' && path[start - 1] != u'\\') --start;
    return path.substr(start);
}

void remember_cache_name(std::u16string_view name, output_format format) {
    made_names().remember(name, format);
}

std::optional<output_format> format_of_cache_name(std::u16string_view name) {
    return made_names().find(name);
}

} // namespace quorin::host
