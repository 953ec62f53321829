// Between the platform's FILETIME halves and quorin's 64-bit file times,
// which count the same 100-ns ticks from the same epoch.
#pragma once

#include <windows.h>

#include "platform/env.h"

namespace quorin::platform::win32 {

inline file_time to_file_time(const FILETIME& time) {
    return (file_time{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

inline FILETIME to_FILETIME(file_time time) {
    return {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
}

} // namespace quorin::platform::win32
