// Names of the two directory levels under the cache root: one lowercase hex
// digit ("0" to "f"), then two with a leading zero ("00" to "ff").
#pragma once

#include <string>
#include <string_view>

namespace quorin {

inline constexpr unsigned first_level_count = 16;
inline constexpr unsigned second_level_count = 256;

// The cache root, the separator and `first` as one hex digit.
std::string first_level_directory(std::string_view cache_root, unsigned first);

// A first-level directory, the separator and `second` as two hex digits.
std::string second_level_directory(std::string_view first_level, unsigned second);

} // namespace quorin
