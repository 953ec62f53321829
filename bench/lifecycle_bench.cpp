// Start-up: reading a realistic quorin.setting, and Loaded when the cache
// tree of 16 + 4096 directories is already there (every start but the first).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "cache/cache_tree.h"
#include "platform/env.h"
#include "settings/load_settings.h"
#include "settings/module_settings.h"
#include "support/temp_dir.h"
#include "trelvane_module.h"

namespace {

// What scripts/write-settings.sh writes for a deployment: cache beside the
// module, entries kept 29 hours, a sweep every 5 minutes, a log.
constexpr const char* deployed_settings = R"(<?xml version='1.0' encoding='UTF-8'?>
<quorin>
  <CacheFolderPath>cache</CacheFolderPath>
  <CacheDeleteTime BaseTime='Creation' Interval='300' LogFilePath='quorin-expiry.log'>104400</CacheDeleteTime>
</quorin>
)";

// A module folder holding the settings file, and the module's view of where
// its own file lies.
class module_folder : public quorin::platform::env_wrapper {
public:
    module_folder() : env_wrapper(quorin::platform::default_env()) {
        quorin::test::write_file(settings_path(), deployed_settings);
    }
    std::string module_file_path() override { return (dir_.path() / "quorin.so").string(); }
    std::string settings_path() const { return (dir_.path() / "quorin.setting").string(); }
    std::filesystem::path cache_root() const { return dir_.path() / "cache"; }

private:
    quorin::test::temp_dir dir_;
};

void load_settings(benchmark::State& state) {
    const module_folder folder;
    quorin::module_settings_record settings;
    for (auto _ : state) {
        quorin::load_settings(folder.settings_path(), settings);
        benchmark::DoNotOptimize(settings.cache_delete_time);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(load_settings)->Unit(benchmark::kMicrosecond);

void loaded_over_existing_tree(benchmark::State& state) {
    module_folder folder;
    const quorin::platform::scoped_env installed(folder);
    std::filesystem::create_directory(folder.cache_root());
    quorin::create_cache_tree(folder.cache_root().string());
    const quorin::module_settings_record saved = quorin::module_settings;
    for (auto _ : state) {
        if (!Loaded()) state.SkipWithError("Loaded refused the settings");
        state.PauseTiming();
        Unloaded();
        state.ResumeTiming();
    }
    quorin::module_settings = saved;
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(loaded_over_existing_tree)->Unit(benchmark::kMillisecond);

} // namespace
