#include "cache/cache_path.h"

#include <bit>
#include <iterator>

#include "platform/md5.h"
#include "platform/paths.h"
#include "settings/module_settings.h"

namespace quorin {

wide_string_view cache_name_of_key(wide_string_view key) {
    static constexpr TrelvaneChar separators[] = {'\\', '/'};
    const auto separator =
        key.find_last_of(separators, wide_string_view::npos, std::size(separators));
    return separator == wide_string_view::npos ? key : key.substr(separator + 1);
}

void make_cache_path(wide_string_view name, wide_string& path) {
    // The digest covers the code units as little-endian bytes, which on the
    // machines the module runs on are the string's own bytes.
    static_assert(std::endian::native == std::endian::little);
    path.clear();
    const auto digest = platform::md5(name.data(), name.size() * sizeof(TrelvaneChar));
    if (!digest) return;

    static constexpr char hex_digits[] = "0123456789abcdef";
    const std::uint8_t first = (*digest)[0];
    const std::uint8_t second = (*digest)[1];
    const TrelvaneChar separator = platform::path_separator;
    path.reserve(module_settings.cache_root_wide.size() + 6 + name.size());
    path.append(module_settings.cache_root_wide);
    path.push_back(separator);
    path.push_back(static_cast<TrelvaneChar>(hex_digits[first >> 4]));
    path.push_back(separator);
    path.push_back(static_cast<TrelvaneChar>(hex_digits[first & 0xF]));
    path.push_back(static_cast<TrelvaneChar>(hex_digits[second >> 4]));
    path.push_back(separator);
    path.append(name);
}

} // namespace quorin
