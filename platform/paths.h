// Path rules of the platform: the separator that joins a directory and a
// name, and when a setting value names an absolute path.
#pragma once

#include <string>
#include <string_view>

namespace quorin::platform {

#ifdef _WIN32
inline constexpr char path_separator = '\\';
#else
inline constexpr char path_separator = '/';
#endif

// A setting value is absolute when it starts at the root of the file system;
// on Windows also when its second character is a colon (C:\dir, C:dir).
bool is_absolute_path(std::string_view value);

// The directory part of a file path: the last element and the separator
// before it removed, except that the root keeps its separator (C:\ on
// Windows). A path without a separator gives the empty directory.
std::string remove_file_spec(std::string_view file_path);

} // namespace quorin::platform
