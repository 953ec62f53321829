// The module's one conversion between the contract's FILETIME halves (the
// platform's own FILETIME on Windows) and its 64-bit file times, which count
// the same 100-ns ticks from the same epoch. The host keeps its own copy,
// since it never links the module's code.
#pragma once

#include "platform/env.h"
#include "trelvane_module.h"

namespace quorin::platform {

inline file_time to_file_time(const FILETIME& time) {
    return (file_time{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

inline FILETIME to_FILETIME(file_time time) {
    FILETIME halves{};
    halves.dwLowDateTime = static_cast<std::uint32_t>(time);
    halves.dwHighDateTime = static_cast<std::uint32_t>(time >> 32);
    return halves;
}

} // namespace quorin::platform
