// The folder that keeps whole copies of the origin's sources: copies/ is a
// source root like the images directory (the decode opens its files the
// same confined way), meta/ holds each copy's validators beside it, tmp/
// the fetches in progress. A copy is put in place by a rename once it is
// complete, so a fetch cut short never becomes a source; its modification
// time is the source time the module is given.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "origin/origin_fetch.h"
#include "security/source_lookup.h"

namespace quorin::host {

class copy_store {
public:
    // Makes the folders below `directory` and empties tmp/; throws
    // std::filesystem::filesystem_error when it cannot.
    explicit copy_store(const std::filesystem::path& directory);

    const source_root& root() const { return *root_; }

    // A name in tmp/ that no other fetch uses.
    std::filesystem::path temp_file();

    // Puts the complete file `temp` in place as the copy of `relative`,
    // dated `source_time`, with `tags` beside it; false when it cannot.
    bool keep(const std::filesystem::path& relative, const std::filesystem::path& temp,
              const version_tags& tags, std::filesystem::file_time_type source_time);

    // Notes that the origin confirmed the copy now.
    void confirm(const std::filesystem::path& relative);

    void remove(const std::filesystem::path& relative);

    // The source time of the copy of `relative`, when there is one.
    std::optional<std::filesystem::file_time_type>
    source_time(const std::filesystem::path& relative) const;

    struct kept_copy {
        std::filesystem::path relative;
        version_tags tags;
        std::uint64_t bytes = 0;
        std::chrono::system_clock::time_point confirmed;
    };
    // The copies an earlier run left, the least recently confirmed first;
    // copies without validators are removed.
    std::vector<kept_copy> kept_copies();

private:
    std::filesystem::path copies_;
    std::filesystem::path meta_;
    std::filesystem::path tmp_;
    std::unique_ptr<source_root> root_;
    std::uint64_t run_;
    std::atomic<std::uint64_t> next_temp_{0};
};

} // namespace quorin::host
