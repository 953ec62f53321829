// The host's table of hexadecimal digits: digests in cache names and entity
// tags use the lower-case ones, percent-escapes in URLs the upper-case ones.
// The module keeps its own copy; the host never links the module's code.
#pragma once

namespace quorin::host {

inline constexpr char hex_digits[] = "0123456789abcdef0123456789ABCDEF";

// The digit of the low four bits of value.
constexpr char lower_hex_digit(unsigned value) { return hex_digits[value & 0xF]; }
constexpr char upper_hex_digit(unsigned value) { return hex_digits[16 + (value & 0xF)]; }

} // namespace quorin::host
