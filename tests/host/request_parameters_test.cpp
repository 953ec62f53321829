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
    EXPECT_EQ(parsed("gravity=smart&fit=cover&w=1&h=1").anchor, gravity::smart);
}

TEST(RequestParameters, DprMultipliesTheBoxAndNothingElse) {
    const struct {
        const char* query;
        std::optional<int> width, height;
    } rows[] = {
        {"w=100&dpr=2", 200, std::nullopt},  {"dpr=1.5&w=100&h=51", 150, 77}, // 76.5 rounds up
        {"h=3&dpr=1.25", std::nullopt, 4},   {"w=10&dpr=4", 40, std::nullopt},
        {"w=2048&h=8192&dpr=1", 2048, 8192}, {"dpr=3", std::nullopt, std::nullopt},
    };
    for (const auto& [query, width, height] : rows) {
        const auto parameters = parsed(query);
        EXPECT_EQ(parameters.width, width) << query;
        EXPECT_EQ(parameters.height, height) << query;
    }
    for (const char* query : {"dpr=0", "dpr=0.5", "dpr=4.01", "dpr=5", "dpr=1.234", "dpr=2.",
                              "dpr=.5", "dpr=+2", "dpr=2x", "dpr=", "w=1&dpr=2&dpr=2"}) {
        EXPECT_NE(rejected(query), "") << query;
    }
    EXPECT_EQ(rejected("w=4097&dpr=2"), "w and h times dpr must be at most 8192");
}

TEST(RequestParameters, CropIsFourWholeNumbers) {
    EXPECT_EQ(parsed("crop=0,0,10,20").crop, (image_area{0, 0, 10, 20}));
    EXPECT_EQ(parsed("crop=5,6,7,8&w=3").crop, (image_area{5, 6, 7, 8}));
    EXPECT_FALSE(parsed("w=3").crop);
    for (const char* query :
         {"crop=1,2,3", "crop=1,2,3,4,5", "crop=1,,3,4", "crop=0,0,0,5", "crop=0,0,5,0",
          "crop=-1,0,5,5", "crop=a,b,c,d", "crop=1,2,3,4,", "crop=1000000000,0,1,1"}) {
        EXPECT_NE(rejected(query).find("crop must be x,y,w,h"), std::string::npos) << query;
    }
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
