// FILETIME halves and the 64-bit file time they make.
#pragma once

#include "platform/env.h"
#include "trelvane_module.h"

namespace quorin {

inline platform::file_time to_file_time(const FILETIME& time) {
    return (platform::file_time{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

inline FILETIME to_FILETIME(platform::file_time time) {
    return {static_cast<std::uint32_t>(time), static_cast<std::uint32_t>(time >> 32)};
}

} // namespace quorin
