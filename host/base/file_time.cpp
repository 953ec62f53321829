#include "base/file_time.h"

#include <array>
#include <cstdio>

namespace quorin::host {

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
    static constexpr std::array<const char*, 12> month_names{
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    using namespace std::chrono;
    const auto since_1970 = ticks(static_cast<std::int64_t>(file_time)) - file_time_epoch_offset;
    const sys_seconds time{floor<seconds>(since_1970)};
    const sys_days day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{time - day};
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02u %s %04d %02d:%02d:%02d GMT",
                  day_names[weekday(day).c_encoding()], static_cast<unsigned>(date.day()),
                  month_names[static_cast<unsigned>(date.month()) - 1],
                  static_cast<int>(date.year()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

} // namespace quorin::host
