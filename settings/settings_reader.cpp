#include "settings/settings_reader.h"

#include <algorithm>
#include <cstring>

#include "settings/decimal_number.h"
#include "settings/load_settings.h"

namespace quorin {

namespace {

constexpr std::int32_t shortest_interval = 60;

bool named(const char* name, const char* expected) { return std::strcmp(name, expected) == 0; }

void read_cache_delete_time_attributes(const char** attributes, module_settings_record& settings) {
    std::string base_time;
    find_attribute(attributes, "BaseTime", base_time);
    if (base_time == "LastAccess")
        settings.base_time = last_access;
    else if (base_time == "Creation")
        settings.base_time = creation;

    // A missing Interval reads as 0 and so gives the shortest interval too.
    std::string interval;
    find_attribute(attributes, "Interval", interval);
    settings.interval = std::max(read_decimal(interval), shortest_interval);

    find_attribute(attributes, "LogFilePath", settings.log_file_path);
}

} // namespace

void find_attribute(const char** attributes, const char* name, std::string& target) {
    for (const char** pair = attributes; *pair; pair += 2) {
        if (named(pair[0], name)) {
            target = pair[1];
            return;
        }
    }
}

void on_start_element(settings_reader& reader, const char* name, const char** attributes) {
    switch (reader.state) {
    case expect_root:
        if (!named(name, "quorin")) throw load_exception("only \"quorin\" could exist at root");
        reader.state = in_root;
        break;
    case in_root:
        if (named(name, "CacheFolderPath")) {
            reader.text.clear();
            reader.state = in_cache_folder_path;
        } else if (named(name, "CacheDeleteTime")) {
            read_cache_delete_time_attributes(attributes, *reader.target);
            reader.text.clear();
            reader.state = in_cache_delete_time;
        }
        break;
    case in_cache_folder_path:
    case in_cache_delete_time:
        // Elements inside a recognised one are transparent.
        break;
    }
}

void on_end_element(settings_reader& reader, const char* name) {
    switch (reader.state) {
    case expect_root:
        break;
    case in_root:
        // No depth is kept: a nested "quorin" closing counts as the root's end.
        if (named(name, "quorin")) reader.state = expect_root;
        break;
    case in_cache_folder_path:
        if (named(name, "CacheFolderPath")) {
            reader.target->cache_folder_path = reader.text;
            reader.state = in_root;
        }
        break;
    case in_cache_delete_time:
        if (named(name, "CacheDeleteTime")) {
            const std::int32_t seconds = read_decimal(reader.text);
            if (seconds >= 0) reader.target->cache_delete_time = seconds;
            reader.state = in_root;
        }
        break;
    }
}

void on_character_data(settings_reader& reader, const char* bytes, int length) {
    if (reader.state == in_cache_folder_path || reader.state == in_cache_delete_time)
        reader.text.append(bytes, static_cast<std::size_t>(length));
}

} // namespace quorin
