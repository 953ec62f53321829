#include <gtest/gtest.h>

#include "cache/http_date.h"
#include "cache/response_header.h"
#include "platform/filetime.h"

namespace quorin {
namespace {

constexpr platform::file_time second = platform::ticks_per_second;
// 2026-01-05 03:04:09 UTC, a Monday.
constexpr platform::file_time jan_5_2026 = (13'412'055'849ull) * second;

std::string date_of(platform::file_time time) {
    const FILETIME parts = platform::to_FILETIME(time);
    char text[http_date_length + 1] = "untouched";
    if (!format_http_date(&parts, text)) return "<none>";
    return text;
}

TEST(HttpDate, FormatsTheFixedLengthForm) {
    EXPECT_EQ(date_of(0), "Mon, 01 Jan 1601 00:00:00 GMT");
    EXPECT_EQ(date_of(jan_5_2026), "Mon, 05 Jan 2026 03:04:09 GMT");
    // One 100-ns unit short of a full second gives the second before it.
    EXPECT_EQ(date_of(jan_5_2026 - 1), "Mon, 05 Jan 2026 03:04:08 GMT");
    EXPECT_EQ(date_of(jan_5_2026 + second - 1), "Mon, 05 Jan 2026 03:04:09 GMT");
}

TEST(HttpDate, RefusesYearsAfter9999AndTheTopBit) {
    // 9999-12-31 23:59:59 is the last date that has the fixed length.
    constexpr platform::file_time first_of_10000 = 265'046'774'400ull * second;
    EXPECT_EQ(date_of(first_of_10000 - 1), "Fri, 31 Dec 9999 23:59:59 GMT");
    EXPECT_EQ(date_of(first_of_10000), "<none>");
    EXPECT_EQ(date_of(0x8000'0000'0000'0000ull), "<none>");
    EXPECT_EQ(date_of(~0ull), "<none>");
}

TEST(HeaderBlock, HasExactBytes) {
    EXPECT_EQ(build_header_block("image/png", 0, nullptr),
              "Content-Type: image/png\r\nContent-Length: 0\r\n\r\n");
    const FILETIME time = platform::to_FILETIME(jan_5_2026);
    EXPECT_EQ(build_header_block("image/jpeg", 2147483648u, &time),
              "Content-Type: image/jpeg\r\nContent-Length: 2147483648\r\n"
              "Last-Modified: Mon, 05 Jan 2026 03:04:09 GMT\r\n\r\n");
    EXPECT_EQ(build_header_block("image/gif", 4294967295u, nullptr),
              "Content-Type: image/gif\r\nContent-Length: 4294967295\r\n\r\n");
}

TEST(HeaderBlock, DropsOnlyTheDateLineWhenTheDateFails) {
    const FILETIME far_future = platform::to_FILETIME(~0ull);
    EXPECT_EQ(build_header_block("image/png", 12, &far_future),
              "Content-Type: image/png\r\nContent-Length: 12\r\n\r\n");
}

} // namespace
} // namespace quorin
