// HTTP dates (the fixed-length RFC 1123 form) of file times.
#pragma once

#include "trelvane_module.h"

namespace quorin {

inline constexpr int http_date_length = 29;

// Writes e.g. "Mon, 01 Jan 1601 00:00:00 GMT" and its terminator into text.
// False, with nothing written, for times after the year 9999 or with the
// top bit set.
bool format_http_date(const FILETIME* time, char (&text)[http_date_length + 1]);

} // namespace quorin
