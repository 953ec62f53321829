#include <gtest/gtest.h>

#include "module/resolve_path.h"
#include "module/utf8_to_utf16.h"

namespace quorin {
namespace {

TEST(resolve_path, joins_relative_values_once_and_normalises_nothing) {
    EXPECT_EQ(resolve_path("/srv/cache", "/opt/m"), "/srv/cache");
    EXPECT_EQ(resolve_path("//srv/./cache/", "/opt/m"), "//srv/./cache/");
    EXPECT_EQ(resolve_path("cache", "/opt/m"), "/opt/m/cache");
    EXPECT_EQ(resolve_path("c", "/opt/m"), "/opt/m/c");
    EXPECT_EQ(resolve_path("../c/./d//", "/opt/m"), "/opt/m/../c/./d//");
    EXPECT_EQ(resolve_path(" /srv/cache", "/opt/m"), "/opt/m/ /srv/cache");
    EXPECT_EQ(resolve_path("\n/srv", "/opt/m"), "/opt/m/\n/srv");
    EXPECT_EQ(resolve_path("C:\\cache", "/opt/m"), "/opt/m/C:\\cache");
    EXPECT_EQ(resolve_path("cache", "/"), "//cache");
    EXPECT_EQ(resolve_path("cache", ""), "/cache");
}

TEST(utf8_to_utf16, decodes_up_to_the_first_zero_byte) {
    EXPECT_EQ(utf8_to_utf16("/srv/caf\xc3\xa9/\xf0\x9f\x93\xb7"), u"/srv/caf\u00e9/\U0001F4F7");
    EXPECT_EQ(utf8_to_utf16(std::string_view("/srv\0/hidden", 12)), u"/srv");
    EXPECT_EQ(utf8_to_utf16("/a\xff" "b"), u"/a\uFFFDb");
}

} // namespace
} // namespace quorin
