// Unloaded while requests run and the module's own sweeper is halfway
// through a sweep over 50,000 files: it returns promptly and leaves no
// thread, descriptor or lock behind. (bench/unload_bench.cpp measures how
// long it takes.)
#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "module/expiry_thread_control.h"
#include "platform/env.h"
#include "support/checked_requests.h"
#include "support/process_resources.h"
#include "support/swept_cache.h"
#include "support/temp_dir.h"
#include "trelvane_module.h"

namespace quorin::test {
namespace {

namespace fs = std::filesystem;

constexpr int file_count = 50'000;
constexpr int leaf_count = 4096;
constexpr int client_count = 3;
constexpr int requests_per_client_at_most = 200'000;

std::vector<fs::path> fill_leaves(const fs::path& root) {
    std::vector<fs::path> files;
    files.reserve(file_count);
    char leaf[8];
    for (int i = 0; i < file_count; ++i) {
        std::snprintf(leaf, sizeof leaf, "%x/%02x", i % leaf_count / 256, i % 256);
        files.push_back(root / leaf / ("file-" + std::to_string(i) + ".png"));
        write_file(files.back(), "\x89PNG\r\n\x1a\n");
    }
    return files;
}

TEST(unload_under_load, returns_promptly_mid_sweep_and_leaves_no_thread_descriptor_or_lock) {
    swept_cache cache(1'000'000); // every file is listed, none is old enough to go
    const auto files = fill_leaves(cache.root());
    const checking_converter converter;
    // A sanitizer runtime starts a helper thread along with the first
    // thread; it is there before counting.
    std::thread([] {}).join();
    const std::size_t threads_before = thread_count();
    const auto descriptors_before = open_descriptor_targets();

    // Halfway through the second sweep the test unloads.
    std::promise<void> mid_sweep;
    std::atomic<int> listings{0};
    cache.on_list([&](const std::string&) {
        if (++listings == leaf_count + leaf_count / 2) mid_sweep.set_value();
    });
    module_settings.interval = 0;
    start_expiry_thread();

    answer_tally tally;
    std::atomic<bool> unloaded{false};
    std::chrono::steady_clock::duration unloading{};
    int listings_at_unload = 0;
    {
        std::vector<std::jthread> clients;
        for (int client = 0; client < client_count; ++client) {
            clients.emplace_back([&, client] {
                for (int i = 0; i < requests_per_client_at_most && !unloaded; ++i) {
                    request_plan plan;
                    plan.image = (client * 7 + i) % 32;
                    plan.head = i % 5 == 0;
                    tally.add(run_checked_request(plan));
                }
            });
        }
        mid_sweep.get_future().wait();
        const auto started = std::chrono::steady_clock::now();
        EXPECT_TRUE(Unloaded());
        unloading = std::chrono::steady_clock::now() - started;
        listings_at_unload = listings;
        unloaded = true;
    } // the clients finish their last requests meanwhile

    // Generous for sanitizer and valgrind builds; the benchmark has the figure.
    EXPECT_LT(unloading, std::chrono::seconds(1));
    EXPECT_EQ(listings.load(), listings_at_unload) << "the sweeper went on after Unloaded returned";
    EXPECT_LT(listings_at_unload, 2 * leaf_count) << "the sweep was cut short";
    EXPECT_EQ(thread_count(), threads_before);
    EXPECT_EQ(open_descriptor_targets(), descriptors_before);
    for (const std::string& violation : tally.violations()) ADD_FAILURE() << violation;
    EXPECT_GT(tally.checked.load(), 0u);

    // No lock is left: every file can be taken exclusively and deleted.
    platform::env& env = platform::default_env();
    std::size_t deleted = 0;
    for (const fs::path& file : files)
        deleted += env.delete_file(file.string(), cache.root().string().size());
    EXPECT_EQ(deleted, files.size());
    std::cout << "[ unload ] Unloaded took "
              << std::chrono::duration_cast<std::chrono::microseconds>(unloading).count()
              << " us mid-sweep over " << file_count << " files with " << tally.checked
              << " requests checked" << std::endl;
}

} // namespace
} // namespace quorin::test
