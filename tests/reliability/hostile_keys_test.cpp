// Keys built to escape the cache tree or to break its file names, and
// symbolic links planted in it that lead outside: nothing outside the tree
// is ever written, read, served or deleted, and every answer still holds
// (whole and right, or E_FAIL with nothing sent).
#include <chrono>
#include <filesystem>
#include <iostream>

#include <gtest/gtest.h>

#include "cache/cache_tree.h"
#include "expiry/expiry_sweep.h"
#include "platform/text.h"
#include "support/checked_requests.h"
#include "support/swept_cache.h"
#include "support/temp_dir.h"
#include "support/tree_snapshot.h"
#include "support/versioned_images.h"

namespace quorin::test {
namespace {

namespace fs = std::filesystem;

const std::string secret = "\x89PNG\r\n\x1a\nSECRET outside the cache";

std::vector<std::u16string> hostile_keys() {
    std::vector<std::u16string> keys = {u"",
                                        u".",
                                        u"..",
                                        u"\\",
                                        u"/",
                                        u"a\\",
                                        u"a/",
                                        u"C:\\images\\..",
                                        u"images/..",
                                        u"..\\..\\..\\outside\\secret.png",
                                        u"../../../outside/secret.png",
                                        u"/etc/passwd",
                                        u"ctl\x01\x1b[2J\x7f.png",
                                        u"line\nDELETE_FAIL forged\r.png",
                                        u"tab\there.png",
                                        u"\xD800.png",
                                        u"x\xDC00y.png",
                                        u"\xDBFF",
                                        u"\xDC00\xD800.png",
                                        u"%2e%2e",
                                        u"..%2f..",
                                        std::u16string(4096, u'a'),
                                        std::u16string(255, u'b'),
                                        std::u16string(256, u'c'),
                                        std::u16string(127, u'\x00e9'),
                                        std::u16string(128, u'\x00e9')};
    for (std::u16string& key : keys) {
        if (key.find(u'\0') != std::u16string::npos) key.resize(key.find(u'\0'));
    }
    return keys;
}

std::u16string cache_path_of(std::u16string_view name) {
    std::u16string path;
    make_cache_path(name, path);
    return path;
}

fs::path narrow(const std::u16string& path) { return platform::encode_utf8(path); }

// Sets a file's modification time to the source time of version 0, so that
// a cache that followed a link to it would find it current and serve it.
void write_current_looking(const fs::path& file) {
    write_file(file, secret);
    const FILETIME time = source_time_of(0);
    const std::uint64_t ticks = (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    const std::chrono::sys_time<std::chrono::nanoseconds> since_1970{
        std::chrono::nanoseconds((ticks - 116'444'736'000'000'000ull) * 100)};
    fs::last_write_time(file, std::chrono::file_clock::from_sys(since_1970));
}

class hostile_input : public ::testing::Test {
protected:
    hostile_input() {
        fs::create_directories(outside / "old");
        write_current_looking(outside / "secret.png");
        write_current_looking(outside / "old" / "kept.png");
        cache.set_clock_ahead(3600);
    }

    // Every key asked for twice with GET and once with HEAD; a second GET
    // would be answered from a stored entry.
    void request_each(const std::vector<std::u16string>& keys) {
        for (const std::u16string& key : keys) {
            for (const bool head : {false, false, true}) {
                request_plan plan;
                plan.key = key;
                plan.head = head;
                tally.add(run_checked_request(plan));
            }
        }
    }

    void expect_every_answer_checked(std::size_t requests) {
        for (const std::string& violation : tally.violations()) ADD_FAILURE() << violation;
        EXPECT_EQ(tally.checked.load(), requests);
    }

    // Below the cache root only the 16 x 256 directories and files directly
    // in the leaves may exist.
    std::vector<std::string> entries_out_of_place() const {
        std::vector<std::string> misplaced;
        for (auto it = fs::recursive_directory_iterator(cache.root());
             it != fs::recursive_directory_iterator(); ++it) {
            const bool directory = it->is_directory() && !it->is_symlink();
            if (directory != (it.depth() < 2)) misplaced.push_back(it->path().string());
        }
        return misplaced;
    }

    std::size_t files_in_cache() const {
        std::size_t files = 0;
        for (const auto& entry : fs::recursive_directory_iterator(cache.root()))
            files += !entry.is_directory();
        return files;
    }

    swept_cache cache;
    fs::path outside = cache.directory() / "outside";
    const checking_converter converter;
    answer_tally tally;
};

TEST_F(hostile_input, hostile_keys_are_answered_or_refused_and_never_leave_the_tree) {
    const tree_snapshot before = snapshot_of(outside);
    const auto keys = hostile_keys();
    request_each(keys);
    expect_every_answer_checked(keys.size() * 3);
    // Names that fit a file name are stored and served from the cache.
    EXPECT_GT(tally.from_cache.load(), keys.size() / 2);
    EXPECT_EQ(entries_out_of_place(), std::vector<std::string>{});
    EXPECT_GT(files_in_cache(), 0u);

    expiry_sweep();
    EXPECT_EQ(files_in_cache(), 0u) << "every stored name is found and deleted by the sweep";
    EXPECT_EQ(count_lines_starting(cache.log_lines(), "DELETE_FAIL "), 0u);
    EXPECT_EQ(snapshot_of(outside), before);
    std::cout << "[ hostile ] " << keys.size() << " hostile keys, " << tally.checked
              << " requests checked: " << tally.answered << " answered (" << tally.from_cache
              << " from the cache), " << tally.refused
              << " refused with nothing sent; nothing outside the tree changed" << std::endl;
}

TEST_F(hostile_input,
       a_link_planted_in_a_leaf_is_neither_followed_nor_served_and_only_itself_is_deleted) {
    const fs::path file_link = narrow(cache_path_of(u"planted.png"));
    fs::create_symlink(outside / "secret.png", file_link);
    const fs::path directory_link = cache.root() / "0" / "00" / "planted-dir";
    fs::create_directory_symlink(outside / "old", directory_link);
    const tree_snapshot before = snapshot_of(outside);

    request_each({u"C:\\images\\planted.png"});
    expect_every_answer_checked(3);
    EXPECT_EQ(tally.answered.load(), 0u)
        << "a key whose entry is a link gets E_FAIL: the host answers itself";
    EXPECT_EQ(snapshot_of(outside), before);

    expiry_sweep();
    EXPECT_FALSE(fs::exists(fs::symlink_status(file_link)));
    EXPECT_FALSE(fs::exists(fs::symlink_status(directory_link)));
    EXPECT_EQ(snapshot_of(outside), before);
}

// A leaf directory replaced by a link to an outside directory, and the
// first-level directory of another key replaced by a link to an outside
// tree; both hold files that look current and old enough to expire.
TEST_F(hostile_input, a_directory_of_the_tree_replaced_by_a_link_leads_nothing_outside) {
    const fs::path leaf_victim = narrow(cache_path_of(u"victim.png"));
    std::u16string other_key = u"victim-0.png";
    for (int i = 1; narrow(cache_path_of(other_key)).parent_path().parent_path() ==
                    leaf_victim.parent_path().parent_path();
         ++i) {
        other_key = u"victim-" + platform::decode_utf8(std::to_string(i)) + u".png";
    }
    const fs::path level_victim = narrow(cache_path_of(other_key));
    const fs::path first_level = level_victim.parent_path().parent_path();

    const fs::path outside_leaf = outside / "leaf";
    const fs::path outside_level_leaf = outside / "level" / level_victim.parent_path().filename();
    fs::create_directories(outside_leaf);
    fs::create_directories(outside_level_leaf);
    write_current_looking(outside_leaf / "victim.png");
    write_current_looking(outside_leaf / "other.png");
    write_current_looking(outside_level_leaf / level_victim.filename());
    fs::remove(leaf_victim.parent_path());
    fs::create_directory_symlink(outside_leaf, leaf_victim.parent_path());
    fs::remove_all(first_level);
    fs::create_directory_symlink(outside / "level", first_level);
    const tree_snapshot before = snapshot_of(outside);

    request_each({u"victim.png", other_key});
    expect_every_answer_checked(6);
    EXPECT_EQ(tally.answered.load(), 0u)
        << "an entry reached through a link gets E_FAIL: the host answers itself";
    expiry_sweep();
    EXPECT_EQ(snapshot_of(outside), before);
}

} // namespace
} // namespace quorin::test
