// The host's table of hexadecimal digits: digests in cache names and entity
// tags use the lower-case ones, percent-escapes in URLs the upper-case ones.
// The module keeps its own copy; the host never links the module's code.
#pragma once

namespace quorin::host {

inline constexpr char hex_digits[] = "0123456789abcdef0123456789ABCDEF";

// The digit of the low four bits of value.
constexpr char lower_hex_digit(unsigned value) { return hex_digits[value & 0xF]; }
constexpr char upper_hex_digit(unsigned value) { return hex_digits[16 + (value & 0xF)]; }

// The value of a hexadecimal digit of either case; -1 for any other byte.
constexpr int hex_value(char digit) {
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
    return -1;
}

} // namespace quorin::host
