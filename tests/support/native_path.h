// Expected paths written once for both platforms: "/0/00/a" is spelled with
// the platform's separator.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/paths.h"
#include "platform/text.h"

namespace quorin::test {

inline std::string native_path(std::string_view slashed) {
    std::string path(slashed);
    std::replace(path.begin(), path.end(), '/', platform::path_separator);
    return path;
}

// The file a UTF-16 cache path names, as the module itself opens it: the
// wide path as it is on Windows, its UTF-8 bytes on Linux (an unpaired
// surrogate, which has no UTF-8 form, as U+FFFD).
inline std::filesystem::path file_path_of(const wide_string& path) {
#ifdef _WIN32
    return std::filesystem::path(path);
#else
    return std::filesystem::path(platform::encode_utf8(path));
#endif
}

// The line end of a text file the platform's runtime writes.
#ifdef _WIN32
inline constexpr std::string_view text_line_end = "\r\n";
#else
inline constexpr std::string_view text_line_end = "\n";
#endif

} // namespace quorin::test
