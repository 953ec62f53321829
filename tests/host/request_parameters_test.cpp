#include "base/url_coding.h"
#include "variant/request_parameters.h"

#include <gtest/gtest.h>

namespace quorin::host {
namespace {

conversion_parameters parsed(std::string_view query) {
    auto result = parse_parameters(query);
    if (const auto* error = std::get_if<std::string>(&result))
        ADD_FAILURE() << query << ": " << *error;
    return std::get_if<conversion_parameters>(&result) ? std::get<conversion_parameters>(result)
                                                       : conversion_parameters{};
}

std::string rejected(std::string_view query) {
    auto result = parse_parameters(query);
    const auto* error = std::get_if<std::string>(&result);
    return error != nullptr ? *error : std::string();
}

TEST(RequestParameters, DefaultsWhenNothingIsGiven) {
    const auto parameters = parsed("");
    EXPECT_FALSE(parameters.width);
    EXPECT_FALSE(parameters.height);
    EXPECT_FALSE(parameters.format);
    EXPECT_EQ(parameters.quality, 85);
}

TEST(RequestParameters, ReadsEveryParameterInAnyOrder) {
    const auto parameters = parsed("q=40&format=jpg&h=240&w=320");
    EXPECT_EQ(parameters.width, 320);
    EXPECT_EQ(parameters.height, 240);
    EXPECT_EQ(parameters.format, output_format::jpeg);
    EXPECT_EQ(parameters.quality, 40);
    EXPECT_EQ(parsed("format=webp").format, output_format::webp);
    EXPECT_EQ(parsed("format=avif").format, output_format::avif);
    EXPECT_EQ(parsed("format=%70ng&&w=8").format, output_format::png);
}

TEST(RequestParameters, AcceptsTheLimits) {
    EXPECT_EQ(parsed("w=1&h=8192").height, 8192);
    EXPECT_EQ(parsed("w=1").width, 1);
    EXPECT_EQ(parsed("q=1").quality, 1);
    EXPECT_EQ(parsed("q=100").quality, 100);
}

TEST(RequestParameters, RefusesValuesOutOfRangeOrNotNumbers) {
    for (const char* query : {"w=0", "w=8193", "h=-5", "w=+5", "w=abc", "w=12px", "w=", "w",
                              "w=1e3", "w=99999999999", "w=%20%31", "q=0", "q=101", "h=3.5"}) {
        EXPECT_NE(rejected(query), "") << query;
    }
    EXPECT_NE(rejected("w=0").find("1 to 8192"), std::string::npos);
}

TEST(RequestParameters, RefusesUnknownRepeatedAndMalformed) {
    EXPECT_NE(rejected("width=3").find("unknown parameter 'width'"), std::string::npos);
    EXPECT_NE(rejected("w=3&w=4").find("twice"), std::string::npos);
    EXPECT_NE(rejected("format=tiff").find("format"), std::string::npos);
    EXPECT_NE(rejected("format=PNG"), "");
    EXPECT_NE(rejected("w=%4"), "");
    EXPECT_NE(rejected("w=%zz"), "");
}

TEST(RequestParameters, ReadsFitGravityAndAutoFormat) {
    const auto cover = parsed("fit=cover&gravity=southwest&w=10&h=20&format=auto");
    EXPECT_EQ(cover.fit, fit_mode::cover);
    EXPECT_EQ(cover.anchor, gravity::southwest);
    EXPECT_TRUE(cover.negotiate_format);
    EXPECT_FALSE(cover.format);
    EXPECT_EQ(parsed("w=1").fit, fit_mode::inside);
    EXPECT_EQ(parsed("w=1").anchor, gravity::center);
    EXPECT_FALSE(parsed("format=png").negotiate_format);
    EXPECT_EQ(parsed("fit=fill&w=1&h=1").fit, fit_mode::fill);

    EXPECT_EQ(rejected("fit=cover&w=10"), "fit=cover needs both w and h");
    EXPECT_EQ(rejected("fit=fill&h=10"), "fit=fill needs both w and h");
    EXPECT_EQ(rejected("fit=crop"), "fit must be inside, cover or fill, not 'crop'");
    EXPECT_NE(rejected("gravity=up").find("center, north, south"), std::string::npos);
}

TEST(PercentDecode, DecodesEscapesAndPlus) {
    EXPECT_EQ(percent_decode("a%20b+c%2F"), "a b c/");
    EXPECT_EQ(percent_decode("%e2%82%ac"), "\xe2\x82\xac");
    EXPECT_FALSE(percent_decode("%"));
    EXPECT_FALSE(percent_decode("ab%2"));
    EXPECT_FALSE(percent_decode("%g0"));
}

} // namespace
} // namespace quorin::host
