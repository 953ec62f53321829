#include "expiry/expiry_thread.h"

#include <chrono>
#include <limits>
#include <new>
#include <thread>

#include "expiry/sweep_fixture.h"

namespace quorin::test {
namespace {

namespace fs = std::filesystem;
using expiry_thread_test = sweep_fixture;

// Runs the thread procedure on its own thread until a hook stops it.
void run_until_stopped(stop_signal& stop) {
    std::thread([&stop] { expiry_thread(stop); }).join();
}

TEST_F(expiry_thread_test, expiry_off_ends_the_thread_before_any_sweep) {
    const auto file = add("0/00/a");
    env.clock_offset_seconds = 200;
    module_settings.cache_delete_time = 0;
    stop_signal never;
    expiry_thread(never); // returns by itself: no stop is ever requested
    EXPECT_TRUE(fs::exists(file));
    EXPECT_FALSE(fs::exists(log));
}

TEST_F(expiry_thread_test, interval_zero_sweeps_back_to_back_until_stopped) {
    stop_signal stop;
    int sweeps = 0;
    env.on_list = [&](const std::string& path) {
        if (path == in_root("/0/00") && ++sweeps == 3) stop.request();
    };
    run_until_stopped(stop);
    std::vector<std::string> expected = empty_sweep_lines;
    expected.insert(expected.end(), empty_sweep_lines.begin(), empty_sweep_lines.end());
    expected.insert(expected.end(), {"DELETE_PROC IN", "DELETE_SCAN IN", "DELETE_PROC OUT"});
    EXPECT_EQ(log_texts(), expected);
}

TEST_F(expiry_thread_test, a_stop_request_wakes_the_longest_pause) {
    module_settings.interval = std::numeric_limits<std::int32_t>::max();
    const auto started = std::chrono::steady_clock::now();
    stop_signal stop;
    std::thread thread([&stop] { expiry_thread(stop); });
    stop.request();
    thread.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_FALSE(fs::exists(log));
}

TEST_F(expiry_thread_test, running_out_of_memory_drops_one_sweep_not_the_thread) {
    const auto file = add("0/00/a");
    env.clock_offset_seconds = 200;
    bool failed_once = false;
    env.on_list = [&](const std::string&) {
        if (!std::exchange(failed_once, true)) throw std::bad_alloc();
    };
    stop_signal stop;
    env.on_delete = [&](const std::string&) { stop.request(); };
    run_until_stopped(stop);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(log_texts(),
              (std::vector<std::string>{"DELETE_PROC IN", "DELETE_SCAN IN", "DELETE_PROC IN",
                                        "DELETE_SCAN IN", "DELETE_SCAN OUT", "DELETE_EXEC IN",
                                        "DELETE_EXEC OUT", "DELETE_PROC OUT"}));
}

} // namespace
} // namespace quorin::test
