// File times (100-ns units since 1601-01-01 UTC) as the module compares
// them, and HTTP dates.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "trelvane_module.h"

namespace quorin::host {

using ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;

// Seconds from 1601-01-01 to 1970-01-01.
inline constexpr std::chrono::seconds file_time_epoch_offset{11'644'473'600};

// A file's modification time exact to the 100-ns unit; finer parts are cut
// off, as the module cuts them off when it reads a cache file's time.
std::uint64_t to_file_time(std::filesystem::file_time_type time);
std::uint64_t to_file_time(std::chrono::system_clock::time_point time);

// The host's own copy of the split into halves: the module has one too, and
// the host never links the module's code.
FILETIME to_FILETIME(std::uint64_t file_time);

// The fixed-length HTTP date, e.g. "Sun, 06 Nov 1994 08:49:37 GMT".
std::string http_date(std::uint64_t file_time);

// Seconds since 1970 of an IMF-fixdate ("Sun, 06 Nov 1994 08:49:37 GMT").
std::optional<std::int64_t> parse_http_date(std::string_view text);

// "Jan" to "Dec".
std::string_view month_name(std::chrono::month month);

} // namespace quorin::host
