// The Windows platform layer against the real system services: share
// modes, file times, "wb" streams, directory listings, CryptoAPI MD5 and
// the UTF-8 conversion.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "platform/env.h"
#include "platform/md5.h"
#include "platform/text.h"
#include "support/temp_dir.h"
#include "support/wide_text.h"
#include "support/wine.h"

namespace quorin {
namespace {

using platform::default_env;

std::string hex(const platform::md5_digest& digest) {
    std::string text;
    for (const std::uint8_t byte : digest) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

std::string md5_hex(std::string_view bytes) {
    const auto digest = platform::md5(bytes.data(), bytes.size());
    return digest ? hex(*digest) : "<none>";
}

TEST(win32_md5, gives_the_standard_digests) {
    EXPECT_EQ(md5_hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5_hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5_hex(std::string(1'000'000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
    // "photo.jpg" as UTF-16LE: 18 bytes.
    const std::string photo("p\0h\0o\0t\0o\0.\0j\0p\0g\0", 18);
    EXPECT_EQ(md5_hex(photo), "620d2685122f02cbaa608f74d365d581");
}

TEST(win32_text, decodes_utf8_up_to_the_first_zero_byte) {
    EXPECT_EQ(platform::decode_utf8("C:\\caf\xc3\xa9"), WIDE("C:\\caf\u00e9"));
    EXPECT_EQ(platform::decode_utf8("\xf0\x9f\x98\x80"), WIDE("\U0001F600"));
    EXPECT_EQ(platform::decode_utf8(std::string_view("ab\0cd", 5)), WIDE("ab"));
    EXPECT_EQ(platform::decode_utf8(""), WIDE(""));
    // An invalid byte does not fail the conversion.
    const wide_string decoded = platform::decode_utf8("a\xff"
                                                      "b");
    EXPECT_EQ(decoded.front(), WIDE('a'));
    EXPECT_EQ(decoded.back(), WIDE('b'));
    EXPECT_NE(decoded.find(wchar_t{0xFFFD}), wide_string::npos);
    EXPECT_EQ(platform::encode_utf8(WIDE("caf\u00e9 \U0001F600")), "caf\xc3\xa9 \xf0\x9f\x98\x80");
}

class win32_files : public ::testing::Test {
protected:
    test::temp_dir dir;
    std::filesystem::path file = dir.path() / "image.png";
    wide_string path = file.wstring();
    std::string narrow = file.string();
    std::size_t root_length = dir.str().size();
};

TEST_F(win32_files, a_file_being_written_can_be_neither_opened_nor_deleted) {
    {
        const auto writer = default_env().open_for_writing(path, root_length);
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->write_all("bytes", 5));
        EXPECT_FALSE(default_env().open_for_writing(path, root_length));
        EXPECT_FALSE(default_env().open_for_reading(path, root_length));
        EXPECT_FALSE(default_env().delete_file(narrow, root_length));
    }
    EXPECT_TRUE(default_env().delete_file(narrow, root_length));
}

TEST_F(win32_files, readers_share_with_readers_only) {
    test::write_file(file, "bytes");
    {
        const auto reader = default_env().open_for_reading(path, root_length);
        ASSERT_TRUE(reader);
        EXPECT_TRUE(default_env().open_for_reading(path, root_length));
        EXPECT_FALSE(default_env().open_for_writing(path, root_length));
        EXPECT_FALSE(default_env().delete_file(narrow, root_length));
    }
    EXPECT_EQ(test::read_file(file), "bytes");
    EXPECT_TRUE(default_env().delete_file(narrow, root_length));
    EXPECT_FALSE(default_env().open_for_reading(path, root_length));
}

TEST_F(win32_files, bytes_are_stored_untranslated_and_times_to_the_tick) {
    const std::string bytes("a\nb\r\nc\x1a\0d", 10);
    constexpr platform::file_time source = 134'120'558'491'234'567ull;
    {
        const auto writer = default_env().open_for_writing(path, root_length);
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->write_all(bytes.data(), bytes.size()));
        ASSERT_TRUE(writer->stamp([] { return default_env().now(); }, source));
    }
    const auto reader = default_env().open_for_reading(path, root_length);
    ASSERT_TRUE(reader);
    platform::file_times times{};
    ASSERT_TRUE(reader->times(times));
    EXPECT_EQ(times.last_write, source);
    std::uint64_t size = 0;
    ASSERT_TRUE(reader->size(size));
    EXPECT_EQ(size, bytes.size());
    char buffer[64];
    const std::int64_t count = reader->read(buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, count > 0 ? static_cast<std::size_t>(count) : 0), bytes);
    EXPECT_EQ(reader->read(buffer, sizeof buffer), 0);
}

TEST_F(win32_files, the_stamp_sets_the_creation_time) {
    if (test::running_under_wine()) GTEST_SKIP() << test::wine_has_no_creation_time;
    constexpr platform::file_time creation = 134'000'000'000'000'000ull;
    {
        const auto writer = default_env().open_for_writing(path, root_length);
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->stamp([] { return creation; }, creation + 1));
    }
    const auto reader = default_env().open_for_reading(path, root_length);
    ASSERT_TRUE(reader);
    platform::file_times times{};
    ASSERT_TRUE(reader->times(times));
    EXPECT_EQ(times.creation, creation);
}

TEST_F(win32_files, listing_gives_files_and_subdirectories_without_dot_entries) {
    test::write_file(dir.path() / "a.png", "a");
    test::write_file(dir.path() / "b.png", "bb");
    std::filesystem::create_directory(dir.path() / "sub");
    std::map<std::string, bool> seen;
    const platform::file_time before = default_env().now();
    ASSERT_TRUE(default_env().list_directory(dir.str(), dir.str().size(),
                                             [&](const platform::directory_entry& entry) {
                                                 seen[std::string(entry.name)] = entry.is_directory;
                                                 EXPECT_GT(entry.creation, 0u);
                                                 EXPECT_LE(entry.creation, before);
                                                 return true;
                                             }));
    EXPECT_EQ(seen,
              (std::map<std::string, bool>{{"a.png", false}, {"b.png", false}, {"sub", true}}));
    EXPECT_FALSE(default_env().list_directory(dir.str() + "\\missing", dir.str().size(),
                                              [](const auto&) { return true; }));
}

TEST_F(win32_files, directories_are_created_once_under_an_existing_parent) {
    EXPECT_TRUE(default_env().create_directory(dir.str() + "\\0"));
    EXPECT_FALSE(default_env().create_directory(dir.str() + "\\0"));
    EXPECT_FALSE(default_env().create_directory(dir.str() + "\\x\\00"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "0"));
}

} // namespace
} // namespace quorin
