#include "settings/decimal_number.h"

#include <charconv>
#include <limits>
#include <system_error>

namespace quorin {

std::int32_t read_decimal(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t\n\v\f\r");
    if (start == std::string_view::npos) return 0;
    text.remove_prefix(start);

    const bool negative = text.front() == '-';
    if (negative || text.front() == '+') text.remove_prefix(1);

    // The magnitude is read unsigned so that a second sign counts as no
    // digits, and so that -2147483648 itself is in range.
    std::uint32_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (error == std::errc::invalid_argument) return 0;

    constexpr auto max = std::numeric_limits<std::int32_t>::max();
    constexpr auto min = std::numeric_limits<std::int32_t>::min();
    const std::uint32_t limit = negative ? std::uint32_t{max} + 1 : std::uint32_t{max};
    if (error == std::errc::result_out_of_range || magnitude > limit) return negative ? min : max;
    return negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                    : static_cast<std::int32_t>(magnitude);
}

} // namespace quorin
