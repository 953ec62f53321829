// Expiry: one sweep over a tree of 100,000 files next to
// `find -printf '%C@'` over the same tree, the heap a sweep holds as the
// share of expired files grows, and Unloaded while a sweep runs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string_view>
#include <thread>

#include "cache/cache_tree.h"
#include "expiry/expiry_sweep.h"
#include "heap_counter.h"
#include "module/expiry_thread_control.h"
#include "platform/env.h"
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
        for (int i = 0; i < file_count; ++i) {
            const std::string directory =
                quorin::leaf_directory(root, static_cast<unsigned>(i) % quorin::leaf_count);
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

// The sweep's files with an index below `expired` look ancient, the others
// new; deletions are counted and succeed without deleting, so the tree stays
// the same for every run.
class marked_expiry : public quorin::platform::env_wrapper {
public:
    explicit marked_expiry(int expired)
        : env_wrapper(quorin::platform::default_env()), expired_(expired) {}

    bool list_directory(
        const std::string& path, std::size_t root_length,
        const std::function<bool(const quorin::platform::directory_entry&)>& visit) override {
        const quorin::platform::file_time now = env_wrapper::now();
        return env_wrapper::list_directory(
            path, root_length, [&](const quorin::platform::directory_entry& entry) {
                quorin::platform::directory_entry marked = entry;
                marked.creation = index_of(entry.name) < expired_ ? 0 : now;
                return visit(marked);
            });
    }
    bool delete_file(const std::string&, std::size_t) override {
        ++deleted;
        return true;
    }

    std::int64_t deleted = 0;

private:
    static int index_of(std::string_view name) {
        int index = file_count;
        const auto digits = name.substr(name.find('-') + 1);
        std::from_chars(digits.data(), digits.data() + digits.size(), index);
        return index;
    }

    int expired_;
};

// Peak heap of one sweep above what was live before it: it grows with the
// expired files (whose paths it keeps until deleting them), not with the
// files it only looks at.
void sweep_peak_heap(benchmark::State& state) {
    configure_sweep_of(tree(), 300);
    quorin::module_settings.cache_delete_time = 1;
    marked_expiry env(static_cast<int>(state.range(0)));
    const quorin::platform::scoped_env installed(env);
    std::int64_t peak_above_start = 0;
    for (auto _ : state) {
        quorin::bench::reset_peak_heap();
        const std::int64_t start = quorin::bench::live_heap_bytes();
        quorin::expiry_sweep();
        peak_above_start = std::max(peak_above_start, quorin::bench::peak_heap_bytes() - start);
    }
    state.counters["peak_heap_bytes"] = static_cast<double>(peak_above_start);
    state.counters["expired_files"] =
        static_cast<double>(env.deleted) / static_cast<double>(state.iterations());
}
BENCHMARK(sweep_peak_heap)
    ->Arg(0)
    ->Arg(1'000)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Unit(benchmark::kMillisecond);

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
