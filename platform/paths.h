// Path rules of the platform: the separator that joins a directory and a
// name, and when a setting value names an absolute path.
#pragma once

#include <string>
#include <string_view>

namespace quorin::platform {

inline constexpr char path_separator = '/';
inline constexpr char16_t path_separator_wide = u'/';

// A setting value is absolute when it starts at the root of the file system.
bool is_absolute_path(std::string_view value);

// The directory part of a file path: the last element and the separator
// before it removed, except that the root keeps its separator.
std::string remove_file_spec(std::string_view file_path);

} // namespace quorin::platform
