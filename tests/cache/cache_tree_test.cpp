#include <gtest/gtest.h>

#include "cache/cache_tree.h"
#include "platform/text.h"
#include "settings/module_settings.h"
#include "support/native_path.h"
#include "support/wide_text.h"

namespace quorin {
namespace {

// "/var/cache/q" followed by a path, both with the platform's separator.
wide_string in_cache(std::string_view relative) {
    return platform::decode_utf8(test::native_path("/var/cache/q" + std::string(relative)));
}

class CacheTree : public ::testing::Test {
protected:
    void SetUp() override { module_settings.cache_root_wide = in_cache(""); }
    void TearDown() override { module_settings.cache_root_wide.clear(); }

    static wide_string path_of_key(wide_string_view key) {
        wide_string path = WIDE("left over");
        make_cache_path(cache_name_of_key(key), path);
        return path;
    }
};

TEST_F(CacheTree, NamesTheFileAfterTheKeysLastElementUnderItsDigestDirectories) {
    // MD5 of "photo.jpg" as UTF-16LE is 620d2685122f02cbaa608f74d365d581.
    EXPECT_EQ(path_of_key(WIDE("C:\\images\\photo.jpg")), in_cache("/6/20/photo.jpg"));
    EXPECT_EQ(path_of_key(WIDE("/images/photo.jpg")), in_cache("/6/20/photo.jpg"));
    EXPECT_EQ(path_of_key(WIDE("photo.jpg")), in_cache("/6/20/photo.jpg"));
    EXPECT_EQ(path_of_key(WIDE("a\\b/photo.jpg")), in_cache("/6/20/photo.jpg"));
}

TEST_F(CacheTree, NamesThatCannotHoldAFileNameALeafDirectory) {
    // The empty name hashes to d41d8cd98f00b204e9800998ecf8427e.
    EXPECT_EQ(path_of_key(WIDE("")), in_cache("/d/41/"));
    EXPECT_EQ(path_of_key(WIDE("C:\\images\\")), in_cache("/d/41/"));
    // A climbing name is cut at its last separator, so it stays in the tree.
    EXPECT_EQ(cache_name_of_key(WIDE("x/../../etc/passwd")), WIDE("passwd"));
    EXPECT_EQ(cache_name_of_key(WIDE("..\\..")), WIDE(".."));
}

TEST_F(CacheTree, HashesNonAsciiNamesAsUtf16LittleEndianUnits) {
    // MD5 over E9 00 2E 00 70 00 6E 00 67 00 is 25b805de...; a surrogate
    // pair counts as its two units (a435cfb3...).
    EXPECT_EQ(path_of_key(WIDE("\u00e9.png")), in_cache("/2/5b/\u00e9.png"));
    EXPECT_EQ(path_of_key(WIDE("\U0001F600.png")), in_cache("/a/43/\U0001F600.png"));
}

TEST_F(CacheTree, KeepsTheRootExactlyAsConfigured) {
    module_settings.cache_root_wide = in_cache("/");
    EXPECT_EQ(path_of_key(WIDE("photo.jpg")), in_cache("//6/20/photo.jpg"));
}

} // namespace
} // namespace quorin
