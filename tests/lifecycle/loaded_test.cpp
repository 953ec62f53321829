#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "expiry/steered_env.h"
#include "module/expiry_thread_control.h"
#include "platform/paths.h"
#include "support/loaded_module.h"
#include "support/native_path.h"
#include "support/temp_dir.h"
#include "trelvane_module.h"

namespace quorin::test {
namespace {

namespace fs = std::filesystem;

std::string settings_text(const std::string& inner) {
    return "<?xml version='1.0'?>\n<quorin>" + inner + "</quorin>\n";
}

// 0, 0/00 .. 0/ff, 1, ... f/ff under root, formatted independently of the module.
std::vector<std::string> expected_tree(const std::string& root) {
    std::vector<std::string> paths;
    char name[8];
    for (int first = 0; first < 16; ++first) {
        std::snprintf(name, sizeof name, "%c%x", platform::path_separator, first);
        const std::string level = root + name;
        paths.push_back(level);
        for (int second = 0; second < 256; ++second) {
            std::snprintf(name, sizeof name, "%c%02x", platform::path_separator, second);
            paths.push_back(level + name);
        }
    }
    return paths;
}

class lifecycle_test : public ::testing::Test {
protected:
    lifecycle_test() {
        fs::create_directories(module_dir);
        env.module_path = (module_dir / module_file_name).string();
    }
    ~lifecycle_test() override { Unloaded(); }

    void write_settings(const std::string& inner) const {
        write_file(module_dir / "quorin.setting", settings_text(inner));
    }

    // The record of a running sweeper over the cache below the module, as
    // Loaded leaves it, but sweeping back to back.
    void configure_sweeper(const fs::path& cache_root) const {
        module_settings.cache_folder_path = "cache";
        module_settings.cache_root = cache_root.string();
        module_settings.interval = 0;
        module_settings.cache_delete_time = 1;
    }

    steered_env env;
    platform::scoped_env installed{env};
    settings_guard guard;
    temp_dir dir;
    fs::path module_dir = dir.path() / "module dir";
};

TEST_F(lifecycle_test, loads_settings_builds_the_tree_and_reloads_over_it) {
    const std::string root = module_dir.string() + native_path("/cache");
    // A relative value is joined to the module directory as written.
    const std::string log_path = module_dir.string() + native_path("/") + "logs/expiry.log";
    fs::create_directory(root);
    module_settings.cache_folder_path = "stale";
    module_settings.interval = 5;
    write_settings("<CacheFolderPath>cache</CacheFolderPath><CacheDeleteTime BaseTime='LastAccess' "
                   "Interval='600' LogFilePath='logs/expiry.log'>900</CacheDeleteTime>");

    ASSERT_TRUE(Loaded());
    EXPECT_EQ(module_settings.cache_root, root);
    EXPECT_EQ(module_settings.cache_root_wide, wide_string(root.begin(), root.end()));
    EXPECT_EQ(module_settings.log_path, log_path);
    EXPECT_EQ(module_settings.interval, 600);
    EXPECT_EQ(module_settings.cache_delete_time, 900);
    EXPECT_EQ(module_settings.base_time, last_access);
    EXPECT_EQ(env.created_directories, expected_tree(root));
    EXPECT_TRUE(fs::is_directory(root + "/a/07"));
    EXPECT_TRUE(fs::is_directory(root + "/f/ff"));
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 16);

    // A second load over the filled tree, the file now naming only the folder.
    write_file(root + "/7/7f/keep.png", "kept");
    write_settings("<CacheFolderPath>cache</CacheFolderPath>");
    env.created_directories.clear();
    ASSERT_TRUE(Loaded());
    EXPECT_EQ(read_file(root + "/7/7f/keep.png"), "kept");
    EXPECT_EQ(env.created_directories.size(), 4112u);
    EXPECT_EQ(module_settings.interval, 300);
    EXPECT_EQ(module_settings.cache_delete_time, 104400);
    EXPECT_EQ(module_settings.base_time, creation);
    EXPECT_EQ(module_settings.log_file_path, "logs/expiry.log");
    EXPECT_EQ(module_settings.log_path, log_path);
}

TEST_F(lifecycle_test, refuses_unusable_settings_and_starts_nothing) {
    module_settings.cache_root = "/earlier/root";
    EXPECT_FALSE(Loaded()); // no settings file
    for (const std::string& text :
         {std::string("<quorin><CacheFolderPath>cache</CacheFolderPath>"),
          std::string("<other><CacheFolderPath>cache</CacheFolderPath></other>"),
          settings_text("<CacheDeleteTime>5</CacheDeleteTime>")}) {
        write_file(module_dir / "quorin.setting", text);
        EXPECT_FALSE(Loaded()) << text;
    }
    EXPECT_TRUE(env.created_directories.empty());
    EXPECT_EQ(module_settings.cache_root, "/earlier/root");
    EXPECT_TRUE(Unloaded());
}

TEST_F(lifecycle_test, a_missing_cache_root_still_loads_and_is_not_created) {
    write_settings("<CacheFolderPath>absent</CacheFolderPath>");
    EXPECT_TRUE(Loaded());
    EXPECT_EQ(env.created_directories.size(), 4112u);
    EXPECT_FALSE(fs::exists(module_dir / "absent"));
}

TEST_F(lifecycle_test, absolute_values_stay) {
    const fs::path cache = dir.path() / "absolute cache";
    fs::create_directory(cache);
    write_settings("<CacheFolderPath>" + cache.string() +
                   "</CacheFolderPath><CacheDeleteTime LogFilePath='" +
                   (dir.path() / "expiry.log").string() + "'>9</CacheDeleteTime>");

    ASSERT_TRUE(Loaded());
    EXPECT_EQ(module_settings.cache_root, cache.string());
    EXPECT_EQ(module_settings.log_path, (dir.path() / "expiry.log").string());
    EXPECT_TRUE(fs::is_directory(cache / "f/ff"));
}

#ifndef _WIN32
// Windows hands the module path over in a buffer of 260 characters.
TEST_F(lifecycle_test, a_long_module_path_is_kept_whole) {
    for (char letter = 'a'; letter < 'f'; ++letter) module_dir /= std::string(60, letter);
    ASSERT_GT(module_dir.string().size(), 300u);
    fs::create_directories(module_dir / "cache");
    env.module_path = (module_dir / module_file_name).string();
    write_settings("<CacheFolderPath>cache</CacheFolderPath>");

    ASSERT_TRUE(Loaded());
    EXPECT_EQ(module_settings.cache_root, (module_dir / "cache").string());
    EXPECT_TRUE(fs::is_directory(module_dir / "cache/f/ff"));
}
#endif

// Restores the working directory.
class working_directory {
public:
    explicit working_directory(const fs::path& path) : previous_(fs::current_path()) {
        fs::current_path(path);
    }
    ~working_directory() { fs::current_path(previous_); }

private:
    fs::path previous_;
};

TEST_F(lifecycle_test,
       a_host_may_open_the_module_by_a_relative_path_and_drop_it_without_unloading) {
    const working_directory inside(dir.path());
    fs::create_directories("relative/cache");
    const temp_dir elsewhere;
    {
        const loaded_module module(QUORIN_MODULE_FILE, "relative",
                                   settings_text("<CacheFolderPath>cache</CacheFolderPath>"));
        fs::current_path(elsewhere.path());
        EXPECT_TRUE(module.function<Loaded_t>("Loaded")());
    } // unloaded from the process with its expiry thread still pausing
    EXPECT_TRUE(fs::is_directory(dir.path() / "relative/cache/f/ff"));
    EXPECT_FALSE(fs::exists(elsewhere.path() / "cache"));
}

TEST_F(lifecycle_test, a_second_load_ends_the_running_sweeper_before_rewriting_the_settings) {
    fs::create_directories(module_dir / "cache");
    configure_sweeper(module_dir / "cache");
    std::atomic<int> listings{0};
    std::promise<void> sweeping;
    env.on_list = [&](const std::string&) {
        if (listings++ == 0) sweeping.set_value();
    };
    start_expiry_thread();
    sweeping.get_future().wait();

    std::vector<int> listings_seen_while_creating;
    env.on_create = [&](const std::string&) { listings_seen_while_creating.push_back(listings); };
    write_settings("<CacheFolderPath>cache</CacheFolderPath>");
    ASSERT_TRUE(Loaded());
    EXPECT_TRUE(Unloaded());
    ASSERT_EQ(listings_seen_while_creating.size(), 4112u);
    EXPECT_EQ(listings_seen_while_creating.front(), listings_seen_while_creating.back());
    EXPECT_EQ(listings.load(), listings_seen_while_creating.front());
}

// 50,000 expired files spread over the leaves, listed and deleted without
// touching the disk. The first deletion waits until the test unloads; the
// rest would take seconds.
class synthetic_cache_env : public steered_env {
public:
    static constexpr int file_count = 50'000;
    std::atomic<int> listed{0};
    std::atomic<int> deleted{0};
    std::promise<void> deleting;
    // A promise, not a latch: mingw's libstdc++ can lose a latch's wake-up.
    std::promise<void> unloading;
    std::shared_future<void> unloading_begun = unloading.get_future().share();

    bool
    list_directory(const std::string&, std::size_t,
                   const std::function<bool(const platform::directory_entry&)>& visit) override {
        for (int i = 0; i < 13 && listed < file_count; ++i) {
            const std::string name = "file" + std::to_string(listed++);
            if (!visit({name, false, 0, 0})) break;
        }
        return true;
    }
    bool delete_file(const std::string&, std::size_t) override {
        if (deleted++ == 0) {
            deleting.set_value();
            unloading_begun.wait();
        }
        // A deletion takes a little time, as on a disk: without it the rest
        // could all go before the unloading thread is scheduled at all.
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        return true;
    }
};

TEST_F(lifecycle_test, unloading_ends_a_sweep_over_50000_files_quickly) {
    synthetic_cache_env cache;
    const platform::scoped_env synthetic(cache);
    configure_sweeper("/synthetic");
    start_expiry_thread();
    cache.deleting.get_future().wait();

    cache.unloading.set_value();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(Unloaded());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_EQ(cache.listed, synthetic_cache_env::file_count);
    EXPECT_LT(cache.deleted, synthetic_cache_env::file_count);
}

TEST_F(lifecycle_test, a_host_that_exits_without_unloading_exits_cleanly_mid_sweep) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            write_file(module_dir / "old", "x");
            configure_sweeper(module_dir);
            fs::create_directories(module_dir / "0/00");
            start_expiry_thread();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace quorin::test
