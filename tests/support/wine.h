// Whether the tests run under Wine, which cannot store a file's creation
// time: it reports the last-write time instead.
#pragma once

namespace quorin::test {

#ifdef _WIN32
bool running_under_wine();
#else
inline bool running_under_wine() { return false; }
#endif

inline constexpr const char* wine_has_no_creation_time =
    "Wine on Linux cannot store a creation time; it reports the last-write time";

} // namespace quorin::test
