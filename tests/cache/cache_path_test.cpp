#include <gtest/gtest.h>

#include "cache/cache_path.h"
#include "settings/module_settings.h"

namespace quorin {
namespace {

class CachePath : public ::testing::Test {
protected:
    void SetUp() override { module_settings.cache_root_wide = u"/var/cache/q"; }
    void TearDown() override { module_settings.cache_root_wide.clear(); }

    static std::u16string path_of_key(std::u16string_view key) {
        std::u16string path = u"left over";
        make_cache_path(cache_name_of_key(key), path);
        return path;
    }
};

TEST_F(CachePath, NamesTheFileAfterTheKeysLastElementUnderItsDigestDirectories) {
    // MD5 of "photo.jpg" as UTF-16LE is 620d2685122f02cbaa608f74d365d581.
    EXPECT_EQ(path_of_key(u"C:\\images\\photo.jpg"), u"/var/cache/q/6/20/photo.jpg");
    EXPECT_EQ(path_of_key(u"/images/photo.jpg"), u"/var/cache/q/6/20/photo.jpg");
    EXPECT_EQ(path_of_key(u"photo.jpg"), u"/var/cache/q/6/20/photo.jpg");
    EXPECT_EQ(path_of_key(u"a\\b/photo.jpg"), u"/var/cache/q/6/20/photo.jpg");
}

TEST_F(CachePath, NamesThatCannotHoldAFileNameALeafDirectory) {
    // The empty name hashes to d41d8cd98f00b204e9800998ecf8427e.
    EXPECT_EQ(path_of_key(u""), u"/var/cache/q/d/41/");
    EXPECT_EQ(path_of_key(u"C:\\images\\"), u"/var/cache/q/d/41/");
    // A climbing name is cut at its last separator, so it stays in the tree.
    EXPECT_EQ(cache_name_of_key(u"x/../../etc/passwd"), u"passwd");
    EXPECT_EQ(cache_name_of_key(u"..\\.."), u"..");
}

TEST_F(CachePath, HashesNonAsciiNamesAsUtf16LittleEndianUnits) {
    // MD5 over E9 00 2E 00 70 00 6E 00 67 00 is 25b805de...; a surrogate
    // pair counts as its two units (a435cfb3...).
    EXPECT_EQ(path_of_key(u"\u00e9.png"), u"/var/cache/q/2/5b/\u00e9.png");
    EXPECT_EQ(path_of_key(u"\U0001F600.png"), u"/var/cache/q/a/43/\U0001F600.png");
}

TEST_F(CachePath, KeepsTheRootExactlyAsConfigured) {
    module_settings.cache_root_wide = u"/var/cache/q/";
    EXPECT_EQ(path_of_key(u"photo.jpg"), u"/var/cache/q//6/20/photo.jpg");
}

} // namespace
} // namespace quorin
