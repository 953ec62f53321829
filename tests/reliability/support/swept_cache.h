// A cache tree in a temporary directory, configured in the module's settings
// record with the operation log on, under an env whose clock a test can set
// ahead so that every file is expired at every sweep; and a thread that runs
// sweeps back to back.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "expiry/steered_env.h"
#include "expiry/stop_signal.h"
#include "support/temp_dir.h"

namespace quorin::test {

class swept_cache {
public:
    // Files older than cache_delete_time seconds (at least 1) are expired.
    explicit swept_cache(std::int32_t cache_delete_time = 1);
    // The same over a cache root that lies elsewhere (one that hosts share);
    // an empty root means one in the temporary directory.
    swept_cache(const std::filesystem::path& root, std::int32_t cache_delete_time);
    ~swept_cache();
    swept_cache(const swept_cache&) = delete;
    swept_cache& operator=(const swept_cache&) = delete;

    // Moves the sweep's clock ahead of the real one.
    void set_clock_ahead(std::int64_t seconds) { env_.clock_offset_seconds = seconds; }
    // Called with each leaf directory a sweep lists; set before sweeps run.
    void on_list(std::function<void(const std::string&)> hook) { env_.on_list = std::move(hook); }

    const std::filesystem::path& root() const { return root_; }
    const std::filesystem::path& directory() const { return dir_.path(); }
    std::vector<std::string> log_lines() const;

private:
    temp_dir dir_;
    std::filesystem::path root_;
    std::filesystem::path log_;
    steered_env env_;
    platform::scoped_env installed_{env_};
    settings_guard guard_;
};

class back_to_back_sweeper {
public:
    back_to_back_sweeper();
    ~back_to_back_sweeper() { stop(); }
    back_to_back_sweeper(const back_to_back_sweeper&) = delete;
    back_to_back_sweeper& operator=(const back_to_back_sweeper&) = delete;

    // Ends the sweep in progress early and returns how many sweeps began.
    std::uint64_t stop();

private:
    std::atomic<std::uint64_t> sweeps_{0};
    stop_signal stop_;
    std::thread thread_;
};

// How many log lines start with text after their time stamp.
std::size_t count_lines_starting(const std::vector<std::string>& lines, std::string_view text);

} // namespace quorin::test
