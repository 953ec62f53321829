#include "expiry/expiry_sweep.h"

#include <cstdint>
#include <string>
#include <vector>

#include "cache/cache_tree.h"
#include "expiry/logger.h"
#include "platform/env.h"
#include "platform/paths.h"
#include "settings/module_settings.h"

namespace quorin {
namespace {

// Whole seconds from `base` to `now`. A base time after `now` (a file stamped
// by a clock that was ahead, or a clock stepped back) counts as age 0: such a
// file is fresh, not ancient.
std::int64_t age_in_seconds(platform::file_time now, platform::file_time base) {
    if (base >= now) return 0;
    return static_cast<std::int64_t>((now - base) / platform::ticks_per_second);
}

platform::file_time base_time_of(const platform::directory_entry& entry) {
    return module_settings.base_time == last_access ? entry.last_access : entry.creation;
}

// Appends the expired files of every leaf directory to expired_files, in
// scan order. False when a stop request cut the scan short.
bool collect_expired_files(const stop_signal& stop, std::vector<std::string>& expired_files) {
    platform::env& env = platform::current_env();
    const platform::file_time now = env.now();
    const std::int64_t limit = module_settings.cache_delete_time;
    const auto visit_leaf = [&](const std::string& leaf) {
        return [&](const platform::directory_entry& entry) {
            if (stop.requested()) return false;
            // Subdirectories are neither entered nor deleted. A symbolic link
            // is never a directory here: it expires and goes as a link.
            if (entry.is_directory) return true;
            if (age_in_seconds(now, base_time_of(entry)) > limit) {
                std::string path = leaf;
                path += platform::path_separator;
                path.append(entry.name);
                expired_files.push_back(std::move(path));
            }
            return true;
        };
    };
    for (unsigned leaf_number = 0; leaf_number < leaf_count; ++leaf_number) {
        if (stop.requested()) return false;
        const std::string leaf = leaf_directory(module_settings.cache_root, leaf_number);
        // The platform picks how much a listing reports (on Windows the
        // information level by OS version). A leaf that cannot be listed
        // is passed over silently.
        env.list_directory(leaf, module_settings.cache_root.size(), visit_leaf(leaf));
    }
    return !stop.requested();
}

// Deletes the files in list order; each refusal becomes a log line and the
// next sweep tries again. False when a stop request cut the pass short.
bool delete_files(const stop_signal& stop, const std::vector<std::string>& files, logger& log) {
    platform::env& env = platform::current_env();
    for (const std::string& path : files) {
        if (stop.requested()) return false;
        if (!env.delete_file(path, module_settings.cache_root.size()))
            log.write("DELETE_FAIL " + path);
    }
    return true;
}

void scan_and_delete(const stop_signal& stop, logger& log) {
    std::vector<std::string> expired_files;
    log.write("DELETE_SCAN IN");
    if (!collect_expired_files(stop, expired_files)) return;
    log.write("DELETE_SCAN OUT");
    log.write("DELETE_EXEC IN");
    if (!delete_files(stop, expired_files, log)) return;
    log.write("DELETE_EXEC OUT");
}

} // namespace

void expiry_sweep(const stop_signal& stop) {
    logger log(module_settings.log_path, !module_settings.log_file_path.empty());
    log.write("DELETE_PROC IN");
    if (!module_settings.cache_folder_path.empty() && module_settings.cache_delete_time != 0) {
        scan_and_delete(stop, log);
    }
    log.write("DELETE_PROC OUT");
}

} // namespace quorin
