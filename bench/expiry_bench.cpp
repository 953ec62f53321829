// Expiry and load/unload: one sweep over a tree of 100,000 files next to
// `find -printf '%C@'` over the same tree, Loaded over an existing tree, and
// Unloaded while a sweep runs.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "expiry/expiry_sweep.h"
#include "module/cache_tree.h"
#include "module/expiry_thread_control.h"
#include "platform/text.h"
#include "settings/module_settings.h"
#include "support/temp_dir.h"
#include "trelvane_module.h"

namespace {

constexpr int file_count = 100'000;

// A cache tree holding file_count small files spread over its leaves, made
// once for the whole run.
struct filled_tree {
    quorin::test::temp_dir dir;
    std::string root = (dir.path() / "cache").string();

    filled_tree() {
        std::filesystem::create_directory(root);
        quorin::create_cache_tree(root);
        static constexpr char hex[] = "0123456789abcdef";
        for (int i = 0; i < file_count; ++i) {
            const unsigned leaf = static_cast<unsigned>(i) % 4096;
            const std::string directory = root + "/" + hex[leaf >> 8] + "/" + hex[(leaf >> 4) & 0xF] +
                                          hex[leaf & 0xF];
            quorin::test::write_file(directory + "/image-" + std::to_string(i) + ".jpg", "x");
        }
    }
};

filled_tree& tree() {
    static filled_tree instance;
    return instance;
}

// Settings that sweep the tree but find nothing old enough to delete.
void configure_sweep_of(const filled_tree& filled, int interval) {
    quorin::module_settings.cache_folder_path = "cache";
    quorin::module_settings.cache_root = filled.root;
    quorin::module_settings.cache_root_wide = quorin::platform::decode_utf8(filled.root);
    quorin::module_settings.cache_delete_time = 1'000'000'000;
    quorin::module_settings.interval = interval;
    quorin::module_settings.log_file_path.clear();
}

void sweep_100k_files(benchmark::State& state) {
    configure_sweep_of(tree(), 300);
    for (auto _ : state) quorin::expiry_sweep();
    state.SetItemsProcessed(state.iterations() * file_count);
}
BENCHMARK(sweep_100k_files)->Unit(benchmark::kMillisecond);

void find_ctime_100k_files(benchmark::State& state) {
    const std::string command = "find '" + tree().root + "' -printf '%C@\\n' > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("find failed");
    }
    state.SetItemsProcessed(state.iterations() * file_count);
}
BENCHMARK(find_ctime_100k_files)->Unit(benchmark::kMillisecond);

// From the stop request until the sweeper has ended, while sweeps run back
// to back over the 100,000 files.
void unloaded_mid_sweep(benchmark::State& state) {
    configure_sweep_of(tree(), 0);
    for (auto _ : state) {
        state.PauseTiming();
        quorin::start_expiry_thread();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        state.ResumeTiming();
        Unloaded();
    }
}
BENCHMARK(unloaded_mid_sweep)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace
