#include "settings/decimal_number.h"

#include <cstdint>
#include <limits>
#include <string_view>
#include <utility>

#include <gtest/gtest.h>

namespace quorin {
namespace {

constexpr auto max = std::numeric_limits<std::int32_t>::max();
constexpr auto min = std::numeric_limits<std::int32_t>::min();

TEST(read_decimal, signs_white_space_and_trailing_text) {
    const std::pair<std::string_view, std::int32_t> cases[] = {
        {"900", 900},   {" \t\n\r\v\f42", 42},
        {"12abc", 12},  {"+7", 7},
        {"-15 s", -15}, {"", 0},
        {"  ", 0},      {"abc", 0},
        {"+-5", 0},     {"--5", 0},
        {"- 5", 0},     {"4 2", 4},
        {"007", 7},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(read_decimal(text), expected) << text;
}

TEST(read_decimal, saturates_beyond_the_32_bit_range) {
    const std::pair<std::string_view, std::int32_t> cases[] = {
        {"2147483647", max},
        {"2147483648", max},
        {"4294967296", max},
        {"-2147483648", min},
        {"-2147483649", min},
        {"-99999999999999999999999", min},
        {"99999999999999999999999x", max},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(read_decimal(text), expected) << text;
}

} // namespace
} // namespace quorin
