#include <filesystem>
#include <gtest/gtest.h>

#include "platform/env.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "support/temp_dir.h"
#include "support/wide_text.h"

namespace quorin {
namespace {

std::string utf8_bytes(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

TEST(PlatformText, EncodesUtf8AfterWhatIsThere) {
    const struct {
        const TrelvaneChar* wide;
        const char* utf8;
    } cases[] = {
        {WIDE("7/13/photo_320x240.jpg"), "7/13/photo_320x240.jpg"},
        {WIDE("ab/caf\u00e9 \u20ac.png"), "ab/caf\xc3\xa9 \xe2\x82\xac.png"},
        {WIDE("\u00e9t\u00e9"), "\xc3\xa9t\xc3\xa9"},
        {WIDE("a\U0001F600b"), "a\xf0\x9f\x98\x80"
                               "b"},
    };
    for (const auto& c : cases) {
        std::string out = "root/";
        platform::append_utf8(out, c.wide);
        EXPECT_EQ(out, std::string("root/") + c.utf8);
        EXPECT_EQ(platform::encode_utf8(c.wide), c.utf8);
    }
}

// The root's length is given in UTF-16 units. A root reached through a
// link is opened apart from the path below it: with a name whose UTF-8 is
// longer, the file must still land, and be found, under it.
TEST(PlatformText, CacheFilesOpenBelowALinkedRootNamedOutsideAscii) {
    test::temp_dir dir;
    const std::filesystem::path root = dir.path() / u8"cach\u00e9";
    std::filesystem::create_directory(dir.path() / u8"r\u00e9el");
    std::error_code no_link;
    std::filesystem::create_directory_symlink(dir.path() / u8"r\u00e9el", root, no_link);
    if (no_link) GTEST_SKIP() << "no directory links here: " << no_link.message();
    const wide_string wide_root = platform::decode_utf8(utf8_bytes(root));
    const wide_string file =
        wide_root + static_cast<TrelvaneChar>(platform::path_separator) + WIDE("\u00e9.png");
    platform::env& env = platform::current_env();
    {
        const auto writer = env.open_for_writing(file, wide_root.size());
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->write_all("bytes", 5));
    }
    EXPECT_EQ(test::read_file(root / u8"\u00e9.png"), "bytes");
    const auto reader = env.open_for_reading(file, wide_root.size());
    ASSERT_TRUE(reader);
    char buffer[16];
    EXPECT_EQ(reader->read(buffer, sizeof buffer), 5);
}

} // namespace
} // namespace quorin
