#include "base/file_time.h"

#include <gtest/gtest.h>

namespace quorin::host {
namespace {

using namespace std::chrono;

TEST(FileTime, CountsHundredNanosecondsSince1601) {
    EXPECT_EQ(to_file_time(system_clock::time_point{}), 116'444'736'000'000'000u);
    const auto time = sys_days{2021y / March / 4} + 5h + 6min + 7s + 123'456'789ns;
    EXPECT_EQ(to_file_time(time_point_cast<system_clock::duration>(time)),
              132'593'079'671'234'567u);
}

TEST(FileTime, ReadsAFileModificationTimeExactToTheUnit) {
    const auto time = sys_days{2020y / January / 2} + 3h + 999'999'999ns;
    const auto file_time = file_clock::from_sys(time_point_cast<system_clock::duration>(time));
    EXPECT_EQ(to_file_time(file_time) % 10'000'000, 9'999'999u);
}

TEST(FileTime, SplitsIntoTheTwoHalves) {
    const FILETIME halves = to_FILETIME(0x0123456789ABCDEFull);
    EXPECT_EQ(halves.dwHighDateTime, 0x01234567u);
    EXPECT_EQ(halves.dwLowDateTime, 0x89ABCDEFu);
}

TEST(HttpDate, HasTheFixedLengthForm) {
    EXPECT_EQ(http_date(0), "Mon, 01 Jan 1601 00:00:00 GMT");
    EXPECT_EQ(http_date(132'593'079'671'234'567u), "Thu, 04 Mar 2021 05:06:07 GMT");
    // One unit short of a full second is still the second before.
    EXPECT_EQ(http_date(116'444'736'009'999'999u), "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(http_date(to_file_time(sys_days{2024y / February / 29})),
              "Thu, 29 Feb 2024 00:00:00 GMT");
}

} // namespace
} // namespace quorin::host
