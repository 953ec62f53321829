// The module's one configuration record. `Loaded` sets its defaults, has the
// settings file read into it and derives the resolved paths; afterwards the
// request threads and the expiry thread only read it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/wide_string.h"

namespace quorin {

// Which file time a cache file's age counts from.
enum base_time_kind : std::int32_t {
    creation = 0,
    last_access = 1,
};

struct module_settings_record {
    std::string cache_folder_path;      // CacheFolderPath as written in the settings file
    std::int32_t interval = 0;          // seconds of pause before each expiry sweep
    std::int32_t cache_delete_time = 0; // age in seconds above which a file goes; 0: no expiry
    base_time_kind base_time = creation;
    std::string cache_root;      // resolved cache folder, narrow
    wide_string cache_root_wide; // the same folder, UTF-16, for the cache file calls
    std::string log_file_path;   // LogFilePath as written; non-empty switches the log on
    std::string log_path;        // LogFilePath resolved to a full path
};

extern module_settings_record module_settings;

} // namespace quorin
