#include "expiry/expiry_sweep.h"

#include <map>

#include "cache/cache_tree.h"
#include "expiry/sweep_fixture.h"
#include "platform/text.h"

namespace quorin::test {
namespace {

namespace fs = std::filesystem;
using expiry_sweep_test = sweep_fixture;

constexpr platform::file_time seconds(std::int64_t count) {
    return static_cast<platform::file_time>(count) * platform::ticks_per_second;
}

std::vector<std::string> concat(std::vector<std::string> first,
                                const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST_F(expiry_sweep_test, empty_tree_logs_six_phase_lines_per_sweep) {
    create_cache_tree(root.string());
    expiry_sweep();
    expiry_sweep();
    EXPECT_EQ(log_texts(), concat(empty_sweep_lines, empty_sweep_lines));
}

TEST_F(expiry_sweep_test, only_files_in_leaf_directories_expire_in_scan_order) {
    const std::vector<fs::path> leaf_files = {add("f/ff/z"), add("a/07/y"), add("0/01/b"),
                                              add("0/00/a"), add("3/7e/c")};
    const std::vector<fs::path> outside_leaves = {add("in_root"), add("3/in_first_level"),
                                                  add("5/5a/sub/inner")};
    std::vector<std::string> deleted;
    env.on_delete = [&](const std::string& path) { deleted.push_back(path); };

    expiry_sweep(); // everything is seconds old: nothing goes
    for (const auto& file : leaf_files) EXPECT_TRUE(fs::exists(file)) << file;

    env.clock_offset_seconds = 200;
    expiry_sweep();
    for (const auto& file : leaf_files) EXPECT_FALSE(fs::exists(file)) << file;
    for (const auto& file : outside_leaves) EXPECT_TRUE(fs::exists(file)) << file;
    EXPECT_EQ(deleted,
              (std::vector<std::string>{in_root("/0/00/a"), in_root("/0/01/b"), in_root("/3/7e/c"),
                                        in_root("/a/07/y"), in_root("/f/ff/z")}));
    EXPECT_EQ(log_texts(), concat(empty_sweep_lines, empty_sweep_lines));
}

TEST_F(expiry_sweep_test, age_must_exceed_the_limit_and_a_future_base_time_is_fresh) {
    const platform::file_time now = seconds(13'400'000'000);
    const std::map<std::string, platform::file_time, std::less<>> created = {
        {"equal", now - seconds(100)},
        {"one_more", now - seconds(101)},
        {"one_tick_short", now - seconds(101) + 1},
        {"future", now + seconds(3600)}};
    for (const auto& [name, time] : created) add("4/44/" + name);
    env.fixed_now = now;
    env.adjust_entry = [&](platform::directory_entry& entry) {
        entry.creation = created.find(entry.name)->second;
    };

    expiry_sweep();
    EXPECT_TRUE(fs::exists(root / "4/44/equal"));
    EXPECT_FALSE(fs::exists(root / "4/44/one_more"));
    EXPECT_TRUE(fs::exists(root / "4/44/one_tick_short"));
    EXPECT_TRUE(fs::exists(root / "4/44/future"));
}

TEST_F(expiry_sweep_test, base_time_setting_picks_the_file_time) {
    const platform::file_time now = seconds(13'400'000'000);
    add("9/99/read_recently");
    add("9/99/created_recently");
    env.fixed_now = now;
    env.adjust_entry = [&](platform::directory_entry& entry) {
        const bool read_recently = entry.name == "read_recently";
        entry.creation = read_recently ? now - seconds(1000) : now;
        entry.last_access = read_recently ? now : now - seconds(1000);
    };

    module_settings.base_time = last_access;
    expiry_sweep();
    EXPECT_TRUE(fs::exists(root / "9/99/read_recently"));
    EXPECT_FALSE(fs::exists(root / "9/99/created_recently"));

    module_settings.base_time = creation;
    expiry_sweep();
    EXPECT_FALSE(fs::exists(root / "9/99/read_recently"));
}

TEST_F(expiry_sweep_test, a_log_that_is_off_or_cannot_open_does_not_stop_deletion) {
    env.clock_offset_seconds = 200;
    const auto first = add("1/11/first");
    module_settings.log_file_path.clear();
    expiry_sweep();
    EXPECT_FALSE(fs::exists(first));
    EXPECT_FALSE(fs::exists(log));

    const auto second = add("1/11/second");
    module_settings.log_file_path = "missing/expiry.log";
    module_settings.log_path = (dir.path() / "missing/expiry.log").string();
    expiry_sweep();
    EXPECT_FALSE(fs::exists(second));
    EXPECT_FALSE(fs::exists(dir.path() / "missing"));
}

#ifndef _WIN32
TEST_F(expiry_sweep_test, links_in_a_leaf_go_as_links_and_their_targets_stay) {
    const auto outside = dir.path() / "outside";
    fs::create_directory(outside);
    write_file(outside / "target.png", "keep");
    fs::create_directories(root / "2/20");
    fs::create_symlink(outside / "target.png", root / "2/20/file_link");
    fs::create_directory_symlink(outside, root / "2/20/directory_link");
    env.clock_offset_seconds = 200;

    expiry_sweep();
    EXPECT_FALSE(fs::exists(fs::symlink_status(root / "2/20/file_link")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(root / "2/20/directory_link")));
    EXPECT_EQ(read_file(outside / "target.png"), "keep");
}
#endif

TEST_F(expiry_sweep_test, a_held_file_is_logged_as_failed_then_deleted_once_released) {
    const auto held = add("5/5a/held.png");
    env.clock_offset_seconds = 200;
    {
        auto reading = platform::current_env().open_for_reading(
            platform::decode_utf8(held.string()), root_length());
        ASSERT_TRUE(reading);
        expiry_sweep();
    }
    EXPECT_TRUE(fs::exists(held));
    expiry_sweep();
    EXPECT_FALSE(fs::exists(held));
    EXPECT_EQ(log_texts(), concat({"DELETE_PROC IN", "DELETE_SCAN IN", "DELETE_SCAN OUT",
                                   "DELETE_EXEC IN", "DELETE_FAIL " + in_root("/5/5a/held.png"),
                                   "DELETE_EXEC OUT", "DELETE_PROC OUT"},
                                  empty_sweep_lines));
}

TEST_F(expiry_sweep_test, no_scan_without_cache_folder_or_with_expiry_off) {
    const auto file = add("7/77/file");
    env.clock_offset_seconds = 200;
    module_settings.cache_delete_time = 0;
    expiry_sweep();
    module_settings.cache_delete_time = 100;
    module_settings.cache_folder_path.clear();
    expiry_sweep();
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(log_texts(), (std::vector<std::string>{"DELETE_PROC IN", "DELETE_PROC OUT",
                                                     "DELETE_PROC IN", "DELETE_PROC OUT"}));
}

TEST_F(expiry_sweep_test, a_stop_request_ends_the_deletion_pass_between_two_files) {
    const std::vector<fs::path> files = {add("0/00/a"), add("0/01/b"), add("0/02/c")};
    env.clock_offset_seconds = 200;
    stop_signal stop;
    env.on_delete = [&](const std::string&) { stop.request(); };

    expiry_sweep(stop);
    EXPECT_FALSE(fs::exists(files[0]));
    EXPECT_TRUE(fs::exists(files[1]));
    EXPECT_TRUE(fs::exists(files[2]));
    EXPECT_EQ(log_texts(),
              (std::vector<std::string>{"DELETE_PROC IN", "DELETE_SCAN IN", "DELETE_SCAN OUT",
                                        "DELETE_EXEC IN", "DELETE_PROC OUT"}));
}

TEST_F(expiry_sweep_test, a_stop_request_ends_the_scan_and_nothing_is_deleted) {
    const auto file = add("0/00/a");
    env.clock_offset_seconds = 200;
    stop_signal stop;
    int listings = 0;
    env.on_list = [&](const std::string& path) {
        ++listings;
        if (path == in_root("/0/10")) stop.request();
    };

    expiry_sweep(stop);
    EXPECT_EQ(listings, 0x11);
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(log_texts(),
              (std::vector<std::string>{"DELETE_PROC IN", "DELETE_SCAN IN", "DELETE_PROC OUT"}));
}

} // namespace
} // namespace quorin::test
