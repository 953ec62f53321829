// Unloaded while requests run and the sweeper is halfway through a sweep
// over 50,000 files: the time from the call until it returns, with the
// sweeper ended.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

#include "module/expiry_thread_control.h"
#include "support/checked_requests.h"
#include "support/swept_cache.h"
#include "support/temp_dir.h"
#include "trelvane_module.h"

namespace {

constexpr int file_count = 50'000;
constexpr int leaf_count = 4096;

void fill_leaves(const std::filesystem::path& root) {
    char leaf[8];
    for (int i = 0; i < file_count; ++i) {
        std::snprintf(leaf, sizeof leaf, "%x/%02x", i % leaf_count / 256, i % 256);
        quorin::test::write_file(root / leaf / ("file-" + std::to_string(i) + ".png"),
                                 "\x89PNG\r\n\x1a\n");
    }
}

void unloaded_mid_sweep_under_requests(benchmark::State& state) {
    quorin::test::swept_cache cache(1'000'000); // the files are listed, none deleted
    fill_leaves(cache.root());
    const quorin::test::checking_converter converter;
    std::atomic<int> listings{0};
    std::promise<void>* mid_sweep = nullptr;
    cache.on_list([&](const std::string&) {
        if (++listings == leaf_count / 2) mid_sweep->set_value();
    });
    quorin::module_settings.interval = 0;

    std::atomic<bool> done{false};
    std::vector<std::jthread> clients;
    for (int client = 0; client < 2; ++client) {
        clients.emplace_back([&, client] {
            for (int i = 0; !done && i < 50'000'000; ++i) {
                quorin::test::request_plan plan;
                plan.image = (client * 7 + i) % 32;
                quorin::test::run_checked_request(plan);
            }
        });
    }
    for (auto _ : state) {
        std::promise<void> reached;
        mid_sweep = &reached;
        listings = 0;
        quorin::start_expiry_thread();
        reached.get_future().wait();
        const auto started = std::chrono::steady_clock::now();
        Unloaded();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    }
    done = true;
}
BENCHMARK(unloaded_mid_sweep_under_requests)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(20);

} // namespace
