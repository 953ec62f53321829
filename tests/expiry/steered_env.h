// A real env whose clock, local time and module path a test steers, with
// hooks into listing and deletion; and a guard that restores the settings
// record. Hooks and fixed values are set before the env is used.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/env.h"
#include "settings/module_settings.h"

namespace quorin::test {

class steered_env : public platform::env_wrapper {
public:
    steered_env() : env_wrapper(platform::default_env()) {}

    std::atomic<std::int64_t> clock_offset_seconds{0}; // now() = real now + this
    std::optional<platform::file_time> fixed_now;
    platform::local_time local{2026, 1, 5, 3, 4, 9};
    std::string module_path;
    std::function<void(platform::directory_entry&)> adjust_entry;
    std::function<void(const std::string&)> on_list;
    std::function<void(const std::string&)> on_delete;
    std::function<void(const std::string&)> on_create;
    std::vector<std::string> created_directories;

    platform::file_time now() override {
        if (fixed_now) return *fixed_now;
        return env_wrapper::now() + static_cast<platform::file_time>(clock_offset_seconds.load()) *
                                        platform::ticks_per_second;
    }
    platform::local_time local_now() override { return local; }
    std::string module_file_path() override { return module_path; }
    bool create_directory(const std::string& path) override {
        if (on_create) on_create(path);
        created_directories.push_back(path);
        return env_wrapper::create_directory(path);
    }
    bool
    list_directory(const std::string& path, std::size_t root_length,
                   const std::function<bool(const platform::directory_entry&)>& visit) override {
        if (on_list) on_list(path);
        if (!adjust_entry) return env_wrapper::list_directory(path, root_length, visit);
        return env_wrapper::list_directory(path, root_length,
                                           [&](const platform::directory_entry& entry) {
                                               platform::directory_entry adjusted = entry;
                                               adjust_entry(adjusted);
                                               return visit(adjusted);
                                           });
    }
    bool delete_file(const std::string& path, std::size_t root_length) override {
        if (on_delete) on_delete(path);
        return env_wrapper::delete_file(path, root_length);
    }
};

class settings_guard {
public:
    settings_guard() : saved_(module_settings) {}
    ~settings_guard() { module_settings = saved_; }
    settings_guard(const settings_guard&) = delete;
    settings_guard& operator=(const settings_guard&) = delete;

private:
    module_settings_record saved_;
};

} // namespace quorin::test
