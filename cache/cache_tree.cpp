#include "cache/cache_tree.h"

#include <bit>
#include <iterator>

#include "platform/env.h"
#include "platform/hex_digit.h"
#include "platform/md5.h"
#include "platform/paths.h"
#include "settings/module_settings.h"

namespace quorin {
namespace {

// The separator and the first-level directory of `leaf`: "/3" for 0x37f.
template <class Text>
void append_first_level(Text& path, unsigned leaf) {
    using unit = typename Text::value_type;
    path.push_back(static_cast<unit>(platform::path_separator));
    path.push_back(static_cast<unit>(platform::lower_hex_digit(leaf >> 8)));
}

// The separator and the leaf's own name: "/7f" for 0x37f.
template <class Text>
void append_second_level(Text& path, unsigned leaf) {
    using unit = typename Text::value_type;
    path.push_back(static_cast<unit>(platform::path_separator));
    path.push_back(static_cast<unit>(platform::lower_hex_digit(leaf >> 4)));
    path.push_back(static_cast<unit>(platform::lower_hex_digit(leaf)));
}

} // namespace

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

    const unsigned leaf = (unsigned{(*digest)[0]} << 4) | (unsigned{(*digest)[1]} >> 4);
    path.reserve(module_settings.cache_root_wide.size() + 6 + name.size());
    path.append(module_settings.cache_root_wide);
    append_first_level(path, leaf);
    append_second_level(path, leaf);
    path.push_back(static_cast<TrelvaneChar>(platform::path_separator));
    path.append(name);
}

std::string leaf_directory(std::string_view root, unsigned leaf) {
    std::string path;
    path.reserve(root.size() + 5);
    path.append(root);
    append_first_level(path, leaf);
    append_second_level(path, leaf);
    return path;
}

void create_cache_tree(const std::string& root) {
    platform::env& env = platform::current_env();
    for (unsigned leaf = 0; leaf < leaf_count; ++leaf) {
        std::string path = root;
        append_first_level(path, leaf);
        if (leaf % leaves_per_first_level == 0) env.create_directory(path);
        append_second_level(path, leaf);
        env.create_directory(path);
    }
}

} // namespace quorin
