#include "resize_box.h"

#include <gtest/gtest.h>

namespace quorin::host {
namespace {

TEST(FitInside, KeepsTheAspectRatioWithTheLimitingSideExact) {
    EXPECT_EQ(fit_inside({4000, 3000}, 320, std::nullopt), (image_size{320, 240}));
    EXPECT_EQ(fit_inside({4000, 3000}, std::nullopt, 300), (image_size{400, 300}));
    // The box is wider than the picture's shape: height limits.
    EXPECT_EQ(fit_inside({400, 800}, 100, 100), (image_size{50, 100}));
    // The box is taller: width limits.
    EXPECT_EQ(fit_inside({800, 400}, 100, 100), (image_size{100, 50}));
}

TEST(FitInside, RoundsTheOtherSideToTheNearestPixel) {
    EXPECT_EQ(fit_inside({1000, 750}, 125, std::nullopt), (image_size{125, 94})); // 93.75
    EXPECT_EQ(fit_inside({1000, 333}, 100, std::nullopt), (image_size{100, 33})); // 33.3
    EXPECT_EQ(fit_inside({3, 2}, 2, std::nullopt), (image_size{2, 1}));           // 1.33
}

TEST(FitInside, NeverEnlargesAndNeverReachesZero) {
    EXPECT_EQ(fit_inside({640, 480}, 5000, 5000), (image_size{640, 480}));
    EXPECT_EQ(fit_inside({640, 480}, 640, std::nullopt), (image_size{640, 480}));
    EXPECT_EQ(fit_inside({640, 480}, 1000, 240), (image_size{320, 240}));
    EXPECT_EQ(fit_inside({640, 480}, std::nullopt, std::nullopt), (image_size{640, 480}));
    EXPECT_EQ(fit_inside({8000, 10}, 1, std::nullopt), (image_size{1, 1}));
}

TEST(FitInside, ExactRatiosGiveBothSidesOfTheBox) {
    EXPECT_EQ(fit_inside({1600, 1200}, 800, 600), (image_size{800, 600}));
    // Large sizes do not overflow the cross products.
    EXPECT_EQ(fit_inside({4'000'000, 3'000'000}, 8192, 8192), (image_size{8192, 6144}));
}

} // namespace
} // namespace quorin::host
