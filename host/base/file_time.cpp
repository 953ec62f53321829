#include "base/file_time.h"

#include <array>
#include <cstdio>

#include "base/text.h"

namespace quorin::host {
namespace {

constexpr std::array<std::string_view, 12> month_names{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::optional<int> number(std::string_view text) {
    int value = 0;
    if (text.empty()) return std::nullopt;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

std::uint64_t to_file_time(std::chrono::system_clock::time_point time) {
    const auto since_1601 =
        std::chrono::floor<ticks>(time.time_since_epoch()) + file_time_epoch_offset;
    return static_cast<std::uint64_t>(since_1601.count());
}

std::uint64_t to_file_time(std::filesystem::file_time_type time) {
    return to_file_time(std::chrono::file_clock::to_sys(time));
}

FILETIME to_FILETIME(std::uint64_t file_time) {
    return {static_cast<std::uint32_t>(file_time), static_cast<std::uint32_t>(file_time >> 32)};
}

std::string http_date(std::uint64_t file_time) {
    static constexpr std::array<const char*, 7> day_names{"Sun", "Mon", "Tue", "Wed",
                                                          "Thu", "Fri", "Sat"};
    using namespace std::chrono;
    const auto since_1970 = ticks(static_cast<std::int64_t>(file_time)) - file_time_epoch_offset;
    const sys_seconds time{floor<seconds>(since_1970)};
    const sys_days day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{time - day};
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02u %s %04d %02d:%02d:%02d GMT",
                  day_names[weekday(day).c_encoding()], static_cast<unsigned>(date.day()),
                  month_name(date.month()).data(), static_cast<int>(date.year()),
                  static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

std::string_view month_name(std::chrono::month month) {
    return month_names[static_cast<unsigned>(month) - 1];
}

std::optional<std::int64_t> parse_http_date(std::string_view text) {
    // "Sun, 06 Nov 1994 08:49:37 GMT": fixed length and positions.
    text = trimmed(text);
    if (text.size() != 29 || text.substr(3, 2) != ", " || text.substr(25) != " GMT" ||
        text[7] != ' ' || text[11] != ' ' || text[16] != ' ' || text[19] != ':' || text[22] != ':')
        return std::nullopt;
    unsigned month = 0;
    while (month < month_names.size() && month_names[month] != text.substr(8, 3)) ++month;
    const auto d = number(text.substr(5, 2));
    const auto y = number(text.substr(12, 4));
    const auto hour = number(text.substr(17, 2));
    const auto minute = number(text.substr(20, 2));
    const auto second = number(text.substr(23, 2));
    if (month == month_names.size() || !d || !y || !hour || !minute || !second || *hour > 23 ||
        *minute > 59 || *second > 60)
        return std::nullopt;
    using namespace std::chrono;
    const year_month_day date{year{*y}, std::chrono::month{month + 1},
                              day{static_cast<unsigned>(*d)}};
    if (!date.ok()) return std::nullopt;
    const auto time = sys_days{date} + hours{*hour} + minutes{*minute} + seconds{*second};
    return time.time_since_epoch().count();
}

} // namespace quorin::host
