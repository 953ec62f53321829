// One cache file rewritten over and over with two versions of different
// lengths while readers open it: what a reader learns at open (times, size)
// must describe the very bytes it then reads.
#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/env.h"
#include "platform/text.h"
#include "support/temp_dir.h"
#include "support/versioned_images.h"

namespace quorin::test {
namespace {

constexpr int rewrites = 40'000;
constexpr int reader_count = 5;

std::uint64_t ticks_of(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

bool store(platform::env& env, const std::u16string& path, std::size_t root_length, int version) {
    const auto file = env.open_for_writing(path, root_length);
    if (!file) return false;
    const std::string bytes = conversion_of(0, version);
    return file->write_all(bytes.data(), bytes.size()) &&
           file->stamp([] { return platform::file_time{0}; }, ticks_of(source_time_of(version)));
}

// Empty when the open file's times and size match the bytes read.
std::string check_open(platform::readable_file& file) {
    platform::file_times times{};
    std::uint64_t size = 0;
    if (!file.times(times) || !file.size(size)) return "no times or size";
    std::string content;
    char buffer[4096];
    for (std::int64_t count; (count = file.read(buffer, sizeof buffer)) > 0;)
        content.append(buffer, count);
    if (content.size() != size) {
        return "size " + std::to_string(size) + " at open, " + std::to_string(content.size()) +
               " bytes read";
    }
    const auto version = version_at(times.last_write);
    if (version && content != conversion_of(0, *version))
        return "content is not the version its time names";
    return {};
}

TEST(store_race, a_reader_sees_the_size_and_time_of_the_bytes_it_reads) {
    temp_dir dir;
    const std::u16string path = platform::decode_utf8((dir.path() / "img-0.png").string());
    const std::size_t root_length = platform::decode_utf8(dir.str()).size();
    platform::env& env = platform::default_env();
    // Two versions whose lengths differ, so that a mixed answer shows.
    int first = 0, second = 1;
    while (conversion_of(0, second).size() == conversion_of(0, first).size()) ++second;
    ASSERT_TRUE(store(env, path, root_length, first));

    std::atomic<bool> writing{true};
    std::atomic<std::uint64_t> opens{0};
    std::vector<std::string> findings(reader_count);
    {
        std::vector<std::jthread> readers;
        for (int reader = 0; reader < reader_count; ++reader) {
            readers.emplace_back([&, reader] {
                while (writing && findings[reader].empty()) {
                    if (const auto file = env.open_for_reading(path, root_length)) {
                        ++opens;
                        findings[reader] = check_open(*file);
                    }
                }
            });
        }
        for (int i = 0; i < rewrites; ++i)
            store(env, path, root_length, i % 2 == 0 ? second : first);
        writing = false;
    }
    for (const std::string& finding : findings) EXPECT_EQ(finding, "");
    EXPECT_GT(opens.load(), 0u);
}

} // namespace
} // namespace quorin::test
