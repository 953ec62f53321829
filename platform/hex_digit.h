// The module's one table of hexadecimal digits: cache directory names use
// the lower-case ones, bytes escaped in the operation log the upper-case ones.
// The host keeps its own copy, since it never links the module's code.
#pragma once

namespace quorin::platform {

inline constexpr char hex_digits[] = "0123456789abcdef0123456789ABCDEF";

// The digit of the low four bits of value.
constexpr char lower_hex_digit(unsigned value) { return hex_digits[value & 0xF]; }
constexpr char upper_hex_digit(unsigned value) { return hex_digits[16 + (value & 0xF)]; }

} // namespace quorin::platform
