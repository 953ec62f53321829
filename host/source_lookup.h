// Finding the source image a URL path names, confined to the images
// directory.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "os/read_only_file.h"

namespace quorin::host {

// The images directory, canonical, and held open so that every source is
// opened below it in one confined call.
class source_root {
public:
    explicit source_root(std::filesystem::path canonical);
    const std::filesystem::path& path() const { return path_; }
    // Null when the directory could not be held open.
    const os::read_only_file* directory() const { return directory_.get(); }

private:
    std::filesystem::path path_;
    std::unique_ptr<os::read_only_file> directory_;
};

struct source_lookup {
    enum class result { found, missing, escapes };
    result outcome = result::missing;
    std::filesystem::path relative;             // to the images root, symbolic links resolved
    std::filesystem::file_time_type modified{}; // of the opened file, when found
    os::file_identity identity;                 // likewise
    // The file, when found: what the format check and the decode read.
    std::unique_ptr<os::read_only_file> opened;
};

// `url_path` is the decoded path of the request ("/dir/photo.jpg"). A ".."
// element, or a symbolic link that leads out of the root, is an escape; a
// path that names no regular file is missing.
source_lookup find_source(const source_root& root, std::string_view url_path);

// Whether `path` (canonical) lies inside `root` (canonical).
bool lies_within(const std::filesystem::path& root, const std::filesystem::path& path);

} // namespace quorin::host
