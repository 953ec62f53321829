#include "expiry/cache_directories.h"

#include "platform/paths.h"

namespace quorin {
namespace {

constexpr char hex_digits[] = "0123456789abcdef";

} // namespace

std::string first_level_directory(std::string_view cache_root, unsigned first) {
    std::string path;
    path.reserve(cache_root.size() + 2);
    path.append(cache_root);
    path += platform::path_separator;
    path += hex_digits[first & 0xF];
    return path;
}

std::string second_level_directory(std::string_view first_level, unsigned second) {
    std::string path;
    path.reserve(first_level.size() + 3);
    path.append(first_level);
    path += platform::path_separator;
    path += hex_digits[(second >> 4) & 0xF];
    path += hex_digits[second & 0xF];
    return path;
}

} // namespace quorin
