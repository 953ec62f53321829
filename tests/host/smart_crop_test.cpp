#include "imaging/smart_crop.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>

namespace quorin::host {
namespace {

// A white picture with black and white stripes, two pixels wide, in
// `detail` (rows from the top).
bitmap striped(image_size size, const image_area& detail) {
    bitmap image(
        FreeImage_Allocate(static_cast<int>(size.width), static_cast<int>(size.height), 24));
    for (unsigned y = 0; y < size.height; ++y) {
        for (unsigned x = 0; x < size.width; ++x) {
            const bool inside = x >= detail.left && x < detail.left + detail.width &&
                                y >= detail.top && y < detail.top + detail.height;
            const BYTE shade = inside && (x / 2) % 2 == 0 ? 0 : 255;
            RGBQUAD colour{shade, shade, shade, 0};
            FreeImage_SetPixelColor(image.get(), x, size.height - 1 - y, &colour);
        }
    }
    return image;
}

TEST(SmartCrop, TheWindowGoesWhereTheDetailIs) {
    const struct {
        image_size size;
        image_area detail;
        image_area region;
        image_size window;
        image_area expected;
    } rows[] = {
        {{400, 200}, {300, 0, 100, 200}, {0, 0, 400, 200}, {200, 200}, {200, 0, 200, 200}},
        {{400, 200}, {0, 50, 100, 20}, {0, 0, 400, 200}, {200, 200}, {0, 0, 200, 200}},
        {{200, 400}, {0, 0, 200, 100}, {0, 0, 200, 400}, {200, 150}, {0, 0, 200, 150}},
        {{200, 400}, {40, 390, 20, 10}, {0, 0, 200, 400}, {200, 150}, {0, 250, 200, 150}},
        // No detail: the middle.
        {{400, 200}, {0, 0, 0, 0}, {0, 0, 400, 200}, {200, 200}, {100, 0, 200, 200}},
        // Within a region, which is reduced before it is measured.
        {{1400, 600}, {100, 0, 60, 600}, {100, 0, 1200, 600}, {600, 600}, {100, 0, 600, 600}},
        {{1400, 600}, {1250, 0, 50, 600}, {100, 0, 1200, 600}, {600, 600}, {700, 0, 600, 600}},
    };
    for (const auto& [size, detail, region, window, expected] : rows) {
        const bitmap image = striped(size, detail);
        const image_area found = most_detailed_window(image.get(), region, window);
        // To the pixel of the reduced region the detail is measured on.
        const double slack = std::max(region.width, region.height) / 256.0;
        const std::string row = std::to_string(size.width) + "x" + std::to_string(size.height) +
                                ", detail at " + std::to_string(detail.left) + "," +
                                std::to_string(detail.top);
        EXPECT_NEAR(found.left, expected.left, slack) << row;
        EXPECT_NEAR(found.top, expected.top, slack) << row;
        EXPECT_EQ(found.width, window.width) << row;
        EXPECT_EQ(found.height, window.height) << row;
    }
}

} // namespace
} // namespace quorin::host
