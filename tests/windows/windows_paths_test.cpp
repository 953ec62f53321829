// The path rules on Windows: backslashes, absolute values, the module
// directory of a module file, and where the settings file lies.
#include <gtest/gtest.h>

#include "module/resolve_path.h"
#include "platform/paths.h"

namespace quorin {
namespace {

using platform::is_absolute_path;
using platform::remove_file_spec;

TEST(windows_paths, absolute_is_a_leading_backslash_or_a_colon_second) {
    for (const char* value :
         {"C:\\cache", "C:cache", "D:", "\\cache", "\\\\server\\share\\c", "z:/c"}) {
        EXPECT_TRUE(is_absolute_path(value)) << value;
    }
    // A forward slash in first place, white space before a drive, and a
    // one-character value are all relative.
    for (const char* value :
         {"/cache", "cache", "c", "", " C:\\cache", "\nC:\\cache", "..\\c", ":x"}) {
        EXPECT_FALSE(is_absolute_path(value)) << value;
    }
}

TEST(windows_paths, module_directory_drops_the_file_but_a_drive_root_keeps_its_backslash) {
    EXPECT_EQ(remove_file_spec("C:\\m\\quorin.dll"), "C:\\m");
    EXPECT_EQ(remove_file_spec("C:\\quorin.dll"), "C:\\");
    EXPECT_EQ(remove_file_spec("C:\\a b\\c.d\\quorin.dll"), "C:\\a b\\c.d");
    EXPECT_EQ(remove_file_spec("\\\\server\\share\\m\\quorin.dll"), "\\\\server\\share\\m");
    // Forward slashes are no separators here.
    EXPECT_EQ(remove_file_spec("C:\\m/sub/quorin.dll"), "C:\\");
    EXPECT_EQ(remove_file_spec("quorin.dll"), "");
}

TEST(windows_paths, relative_values_join_the_module_directory_with_one_backslash) {
    EXPECT_EQ(resolve_path("cache", "C:\\m"), "C:\\m\\cache");
    EXPECT_EQ(resolve_path("D:\\c", "C:\\m"), "D:\\c");
    EXPECT_EQ(resolve_path("\\\\server\\c", "C:\\m"), "\\\\server\\c");
    EXPECT_EQ(resolve_path("..\\c", "C:\\m"), "C:\\m\\..\\c");
    EXPECT_EQ(resolve_path("c", "C:\\m"), "C:\\m\\c");
    EXPECT_EQ(resolve_path("cache\\", "C:\\m"), "C:\\m\\cache\\");
    EXPECT_EQ(resolve_path(" D:\\c", "C:\\m"), "C:\\m\\ D:\\c");
    EXPECT_EQ(resolve_path("/c", "C:\\m"), "C:\\m\\/c");
    // The directory of a module in a drive root already ends in a backslash.
    EXPECT_EQ(resolve_path("quorin.setting", remove_file_spec("C:\\quorin.dll")),
              "C:\\\\quorin.setting");
    EXPECT_EQ(resolve_path("cache", ""), "\\cache");
}

} // namespace
} // namespace quorin
