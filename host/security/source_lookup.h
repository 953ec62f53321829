// Finding the source image a URL path names, confined to the images
// directory.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/bounded_memo.h"
#include "os/read_only_file.h"

namespace quorin::host {

// The images directory, canonical, and held open so that every source is
// opened below it in one confined call. It remembers the versions such
// opens found, by their path: a look at a path's status that shows
// exactly such a version is as good as opening it again, as no other file
// can show that identity.
class source_root {
public:
    explicit source_root(std::filesystem::path canonical);
    const std::filesystem::path& path() const { return path_; }
    // Null when the directory could not be held open.
    const os::read_only_file* directory() const { return directory_.get(); }

    std::optional<os::file_identity> remembered(const std::string& relative) const;
    void remember(const std::string& relative, const os::file_identity& found) const;

private:
    // A lookup of a path forgotten costs its open again.
    static constexpr std::size_t most_remembered = 4096;

    std::filesystem::path path_;
    std::unique_ptr<os::read_only_file> directory_;
    mutable bounded_memo<std::string, os::file_identity> found_{most_remembered};
};

struct source_lookup {
    // Beyond found, missing and escapes, a source fetched from an origin
    // can be too large, or the origin can fail or not answer in time.
    enum class result { found, missing, escapes, too_large, unavailable, timed_out };
    result outcome = result::missing;
    std::string relative; // to the images root, '/' between elements, symbolic links resolved
    std::filesystem::file_time_type modified{}; // of the opened file, when found
    os::file_identity identity;                 // likewise
    // The file, when found by opening it: what the format check and the
    // decode read. Null when found by its status alone; open_found opens
    // it then.
    std::unique_ptr<os::read_only_file> opened;
};

// The relative path the decoded URL path `url_path` names, before any file
// is looked at: its elements joined by single '/', without "." elements.
// `refused` says why not (escapes for a ".." element, missing for a NUL or
// no name at all).
std::optional<std::string> relative_path_of(std::string_view url_path,
                                            source_lookup::result& refused);

// `url_path` is the decoded path of the request ("/dir/photo.jpg"). A ".."
// element, or a symbolic link that leads out of the root, is an escape; a
// path that names no regular file is missing.
source_lookup find_source(const source_root& root, std::string_view url_path);

// Opens a source that find_source found by its status alone, the same
// confined way; the lookup then describes the file opened (a newer
// version, perhaps). False, and the lookup missing, when it is gone.
bool open_found(const source_root& root, source_lookup& lookup);

// Whether `path` (canonical) lies inside `root` (canonical).
bool lies_within(const std::filesystem::path& root, const std::filesystem::path& path);

} // namespace quorin::host
