#include <gtest/gtest.h>

#include "module/resolve_path.h"

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

} // namespace
} // namespace quorin
