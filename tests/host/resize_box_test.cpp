#include "variant/resize_box.h"

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

TEST(PlanResize, CoverKeepsTheGravitysSideOfTheLargestAreaOfTheBoxsShape) {
    struct row {
        image_size source;
        gravity anchor;
        int box_width, box_height;
        image_area kept;
        image_size output;
    };
    const row rows[] = {
        // Wider than the box: the overflow is left and right.
        {{800, 400}, gravity::center, 100, 100, {200, 0, 400, 400}, {100, 100}},
        {{800, 400}, gravity::west, 100, 100, {0, 0, 400, 400}, {100, 100}},
        {{800, 400}, gravity::southeast, 100, 100, {400, 0, 400, 400}, {100, 100}},
        {{800, 400}, gravity::north, 100, 100, {200, 0, 400, 400}, {100, 100}},
        // Taller: top and bottom.
        {{300, 900}, gravity::north, 200, 100, {0, 0, 300, 150}, {200, 100}},
        {{300, 900}, gravity::southwest, 200, 100, {0, 750, 300, 150}, {200, 100}},
        {{300, 901}, gravity::center, 200, 100, {0, 375, 300, 150}, {200, 100}},
        // The box's shape already: nothing cut, whatever the gravity.
        {{1600, 1200}, gravity::east, 400, 300, {0, 0, 1600, 1200}, {400, 300}},
        // Smaller than the box: the largest area of its shape, unscaled.
        {{800, 400}, gravity::center, 1000, 1000, {200, 0, 400, 400}, {400, 400}},
        {{400, 800}, gravity::south, 5000, 100, {0, 792, 400, 8}, {400, 8}},
    };
    for (const auto& [source, anchor, width, height, kept, output] : rows) {
        const auto plan = plan_resize(source, fit_mode::cover, anchor, width, height);
        EXPECT_EQ(plan.kept, kept) << source.width << "x" << source.height << " " << width << "x"
                                   << height << " " << static_cast<int>(anchor);
        EXPECT_EQ(plan.output, output) << width << "x" << height;
        EXPECT_EQ(plan.source, source);
    }
}

TEST(PlanResize, SmartCoverStartsInTheMiddleOfWhereItMayMove) {
    const auto plan = plan_resize({800, 400}, fit_mode::cover, gravity::smart, 100, 100);
    EXPECT_EQ(plan.kept, (image_area{200, 0, 400, 400}));
    EXPECT_EQ(plan.detail_search, (image_area{0, 0, 800, 400}));
    const auto cropped =
        plan_resize({800, 400}, {100, 0, 500, 300}, fit_mode::cover, gravity::smart, 100, 100);
    EXPECT_EQ(cropped->kept, (image_area{200, 0, 300, 300}));
    EXPECT_EQ(cropped->detail_search, (image_area{100, 0, 500, 300}));
    // Nothing to move: the box's shape is the source's.
    EXPECT_FALSE(plan_resize({800, 400}, fit_mode::cover, gravity::smart, 200, 100).detail_search);
    EXPECT_FALSE(plan_resize({800, 400}, fit_mode::inside, gravity::smart, 100, 100).detail_search);
}

TEST(PlanResize, InsideAndFillKeepTheWholeSource) {
    const image_area whole{0, 0, 800, 400};
    const auto inside = plan_resize({800, 400}, fit_mode::inside, gravity::west, 100, 100);
    EXPECT_EQ(inside.kept, whole);
    EXPECT_EQ(inside.output, (image_size{100, 50}));
    const auto fill = plan_resize({800, 400}, fit_mode::fill, gravity::west, 100, 300);
    EXPECT_EQ(fill.kept, whole);
    EXPECT_EQ(fill.output, (image_size{100, 300}));
    // Boxes larger than the source plan the same as no box at all.
    EXPECT_EQ(plan_resize({800, 400}, fit_mode::inside, gravity::center, 5000, std::nullopt),
              plan_resize({800, 400}, fit_mode::inside, gravity::center, 7000, 9000));
}

TEST(PlanResize, ACropIsFittedAsASourceOfItsSizeWhereItLies) {
    const image_size source{800, 400};
    const struct {
        image_area crop;
        fit_mode fit;
        gravity anchor;
        int box_width, box_height;
        image_area kept;
        image_size output;
    } rows[] = {
        {{100, 50, 400, 200},
         fit_mode::inside,
         gravity::center,
         100,
         100,
         {100, 50, 400, 200},
         {100, 50}},
        {{100, 50, 400, 200},
         fit_mode::cover,
         gravity::east,
         100,
         100,
         {300, 50, 200, 200},
         {100, 100}},
        {{0, 0, 800, 400}, fit_mode::cover, gravity::west, 100, 100, {0, 0, 400, 400}, {100, 100}},
        {{799, 399, 1, 1}, fit_mode::fill, gravity::center, 10, 20, {799, 399, 1, 1}, {10, 20}},
        {{400, 0, 400, 400},
         fit_mode::inside,
         gravity::center,
         1000,
         1000,
         {400, 0, 400, 400},
         {400, 400}},
    };
    for (const auto& [crop, fit, anchor, width, height, kept, output] : rows) {
        const auto plan = plan_resize(source, crop, fit, anchor, width, height);
        ASSERT_TRUE(plan) << crop.left << "," << crop.top;
        EXPECT_EQ(plan->source, source);
        EXPECT_EQ(plan->kept, kept) << crop.left << "," << crop.top;
        EXPECT_EQ(plan->output, output) << crop.left << "," << crop.top;
    }
    for (const image_area outside : {image_area{1, 0, 800, 400}, image_area{0, 400, 1, 1},
                                     image_area{4'000'000'000u, 0, 4'000'000'000u, 1}}) {
        EXPECT_FALSE(plan_resize(source, outside, fit_mode::inside, gravity::center, 10, 10))
            << outside.left << "," << outside.top;
    }
}

} // namespace
} // namespace quorin::host
