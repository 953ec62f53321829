#include "origin/copy_store.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <string>

namespace quorin::host {
namespace {

namespace fs = std::filesystem;

// The validators as two lines: the entity tag, then the date.
bool write_tags(const fs::path& file, const version_tags& tags) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << tags.etag << '\n' << tags.last_modified << '\n';
    out.close();
    return static_cast<bool>(out);
}

std::optional<version_tags> read_tags(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    version_tags tags;
    if (!std::getline(in, tags.etag) || !std::getline(in, tags.last_modified)) return std::nullopt;
    return tags;
}

std::chrono::system_clock::time_point system_time(fs::file_time_type time) {
    return std::chrono::time_point_cast<std::chrono::system_clock::duration>(
        std::chrono::file_clock::to_sys(time));
}

} // namespace

copy_store::copy_store(const fs::path& directory)
    : copies_(directory / "copies"), meta_(directory / "meta"), tmp_(directory / "tmp"),
      run_(std::random_device{}()) {
    fs::create_directories(copies_);
    fs::create_directories(meta_);
    // Whatever an earlier run left half fetched is no source.
    fs::remove_all(tmp_);
    fs::create_directories(tmp_);
    root_ = std::make_unique<source_root>(fs::canonical(copies_));
}

fs::path copy_store::temp_file() {
    return tmp_ / (std::to_string(run_) + "-" + std::to_string(next_temp_.fetch_add(1)));
}

bool copy_store::keep(const fs::path& relative, const fs::path& temp, const version_tags& tags,
                      fs::file_time_type source_time) {
    std::error_code error;
    const fs::path copy = copies_ / relative;
    const fs::path meta = meta_ / relative;
    fs::last_write_time(temp, source_time, error);
    if (!error) fs::create_directories(copy.parent_path(), error);
    if (!error) fs::rename(temp, copy, error);
    if (error) return false;
    // The copy first: validators older than their copy only cost a fetch.
    const fs::path tags_temp = temp_file();
    if (!fs::create_directories(meta.parent_path(), error) && error) return false;
    if (!write_tags(tags_temp, tags)) return false;
    fs::rename(tags_temp, meta, error);
    return !error;
}

void copy_store::confirm(const fs::path& relative) {
    std::error_code error;
    fs::last_write_time(meta_ / relative, fs::file_time_type::clock::now(), error);
}

void copy_store::remove(const fs::path& relative) {
    std::error_code error;
    fs::remove(meta_ / relative, error);
    fs::remove(copies_ / relative, error);
}

std::optional<fs::file_time_type> copy_store::source_time(const fs::path& relative) const {
    std::error_code error;
    const auto time = fs::last_write_time(copies_ / relative, error);
    if (error) return std::nullopt;
    return time;
}

std::vector<copy_store::kept_copy> copy_store::kept_copies() {
    std::vector<kept_copy> kept;
    std::error_code error;
    for (fs::recursive_directory_iterator it(copies_, error), end; !error && it != end;
         it.increment(error)) {
        if (!it->is_regular_file(error)) continue;
        const fs::path relative = it->path().lexically_relative(copies_);
        const auto tags = read_tags(meta_ / relative);
        std::error_code status;
        const auto confirmed = fs::last_write_time(meta_ / relative, status);
        const auto bytes = it->file_size(status);
        if (!tags || status) {
            fs::remove(it->path(), status);
            continue;
        }
        kept.push_back({relative, *tags, bytes, system_time(confirmed)});
    }
    std::sort(kept.begin(), kept.end(),
              [](const kept_copy& a, const kept_copy& b) { return a.confirmed < b.confirmed; });
    return kept;
}

} // namespace quorin::host
