// The lenient number rule of the settings file.
#pragma once

#include <cstdint>
#include <string_view>

namespace quorin {

// Reads a signed 32-bit decimal: leading white space skipped, one optional
// sign, then digits up to the first non-digit; the rest is ignored. Text
// without digits reads as 0, and values beyond the range saturate. Nothing
// is ever rejected.
std::int32_t read_decimal(std::string_view text);

} // namespace quorin
