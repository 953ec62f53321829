// Finding the source image a URL path names, confined to the images
// directory.
#pragma once

#include <filesystem>
#include <string_view>

namespace quorin::host {

struct source_lookup {
    enum class result { found, missing, escapes };
    result outcome = result::missing;
    std::filesystem::path file;      // absolute, symbolic links resolved
    std::filesystem::path relative;  // file relative to the images root
    std::filesystem::file_time_type modified{};  // of the file, when found
};

// `images_root` must be canonical. `url_path` is the decoded path of the
// request ("/dir/photo.jpg"). A ".." element, or a symbolic link that leads
// out of the root, is an escape; a path that names no regular file is
// missing.
source_lookup find_source(const std::filesystem::path& images_root, std::string_view url_path);

// Whether `path` (canonical) lies inside `root` (canonical).
bool lies_within(const std::filesystem::path& root, const std::filesystem::path& path);

} // namespace quorin::host
