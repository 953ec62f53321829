// Exact conversion between file times and POSIX timespec values.
#pragma once

#include <ctime>

#include "platform/env.h"

namespace quorin::platform::posix {

// Seconds from 1601-01-01 to 1970-01-01.
inline constexpr std::int64_t unix_epoch_offset_seconds = 11'644'473'600;

// Whole 100-ns units; the nanoseconds below that are dropped.
inline file_time to_file_time(const timespec& time) {
    const std::int64_t seconds = static_cast<std::int64_t>(time.tv_sec) + unix_epoch_offset_seconds;
    return static_cast<file_time>(seconds) * ticks_per_second +
           static_cast<file_time>(time.tv_nsec / 100);
}

inline timespec to_timespec(file_time time) {
    timespec result{};
    result.tv_sec = static_cast<time_t>(static_cast<std::int64_t>(time / ticks_per_second) -
                                        unix_epoch_offset_seconds);
    result.tv_nsec = static_cast<long>(time % ticks_per_second) * 100;
    return result;
}

} // namespace quorin::platform::posix
