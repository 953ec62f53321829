#include "cache/http_date.h"

#include <chrono>
#include <cstring>

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

// Writes `value`'s last `count` decimal digits, with leading zeros.
char* put_digits(char* at, unsigned value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        at[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return at + count;
}

char* put_text(char* at, const char* text) {
    const std::size_t length = std::strlen(text);
    std::memcpy(at, text, length);
    return at + length;
}

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
    // Written by hand: the module writes one on every hit, and a formatted
    // print costs several times as much.
    char* at = put_text(text, day_names[weekday{day}.c_encoding()]);
    at = put_text(at, ", ");
    at = put_digits(at, static_cast<unsigned>(date.day()), 2);
    *at++ = ' ';
    at = put_text(at, month_names[static_cast<unsigned>(date.month())]);
    *at++ = ' ';
    at = put_digits(at, static_cast<unsigned>(static_cast<int>(date.year())), 4);
    *at++ = ' ';
    at = put_digits(at, static_cast<unsigned>(clock.hours().count()), 2);
    *at++ = ':';
    at = put_digits(at, static_cast<unsigned>(clock.minutes().count()), 2);
    *at++ = ':';
    at = put_digits(at, static_cast<unsigned>(clock.seconds().count()), 2);
    at = put_text(at, " GMT");
    *at = '\0';
    return true;
}

} // namespace quorin
