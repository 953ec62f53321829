#include "cache/http_date.h"

#include <chrono>
#include <cstdio>

#include "platform/filetime.h"

namespace quorin {
namespace {

constexpr const char* day_names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* month_names[] = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

using namespace std::chrono;

// Whole seconds from 1601-01-01 to the first instant of the year 10000.
constexpr std::int64_t seconds_until_year_10000 =
    (sys_days{year{10000} / January / 1} - sys_days{year{1601} / January / 1}) / 1s;

} // namespace

bool format_http_date(const FILETIME* time, char (&text)[http_date_length + 1]) {
    const std::int64_t seconds_since_1601 =
        static_cast<std::int64_t>(platform::to_file_time(*time) / platform::ticks_per_second);
    // Refused before any calendar arithmetic can overflow.
    if (seconds_since_1601 >= seconds_until_year_10000) return false;

    const sys_seconds moment = sys_days{year{1601} / January / 1} + seconds{seconds_since_1601};
    const sys_days day = floor<days>(moment);
    const year_month_day date{day};
    const hh_mm_ss clock{moment - day};
    const int written = std::snprintf(
        text, sizeof text, "%3s, %02u %3s %04d %02ld:%02ld:%02lld GMT",
        day_names[weekday{day}.c_encoding()], static_cast<unsigned>(date.day()),
        month_names[static_cast<unsigned>(date.month())], static_cast<int>(date.year()),
        static_cast<long>(clock.hours().count()), static_cast<long>(clock.minutes().count()),
        static_cast<long long>(clock.seconds().count()));
    return written == http_date_length;
}

} // namespace quorin
