// BMP sources in every info header form and depth that browsers show.
#include <FreeImage.h>
#include <gtest/gtest.h>

#include "imaging/image_codec.h"
#include "os/read_only_file.h"
#include "support/bmp_file.h"
#include "support/decoded_image.h"
#include "support/icc_profiles.h"
#include "support/temp_dir.h"

namespace quorin::host {
namespace {

using test::stream_bytes;

class BmpInput : public ::testing::Test {
protected:
    // The file converted to PNG, or empty; its header's size in `shown`.
    std::string as_png(const std::string& bmp, std::optional<image_size>& shown) {
        const auto file = dir.path() / "source.bmp";
        test::write_file(file, bmp);
        const auto opened = os::read_only_file::open(file.string());
        if (!opened || readable_format(*opened) != FIF_BMP) return {};
        const auto header = read_header(*opened, FIF_BMP);
        shown = header ? std::optional(header->shown) : std::nullopt;
        const memory_stream out;
        if (convert_image(*opened, FIF_BMP, {}, output_format::png, out.get()) !=
            conversion_status::converted) {
            return {};
        }
        return stream_bytes(out);
    }

    test::temp_dir dir;
};

TEST_F(BmpInput, EveryHeaderFormAndDepthConverts) {
    // 9 x 5 (rows padded at every depth), light, with a dark block in its
    // top left corner.
    const auto pixel = [](unsigned x, unsigned y) {
        const unsigned grey = x < 4 && y < 2 ? 40 : 220;
        return std::array<unsigned, 4>{grey, grey, grey, 255};
    };
    for (const unsigned info_size : {40u, 52u, 56u, 108u, 124u}) {
        for (const unsigned bits : {1u, 4u, 8u, 16u, 24u, 32u}) {
            for (const bool top_down : {false, true}) {
                const std::string row = std::to_string(info_size) + "-byte header, " +
                                        std::to_string(bits) + " bits" +
                                        (top_down ? ", top down" : "");
                std::optional<image_size> shown;
                const std::string png = as_png(test::bmp_file({.width = 9,
                                                               .height = 5,
                                                               .info_size = info_size,
                                                               .bits = bits,
                                                               .top_down = top_down},
                                                              pixel),
                                               shown);
                ASSERT_FALSE(png.empty()) << row;
                EXPECT_EQ(shown, (image_size{9, 5})) << row; // before any pixel is decoded
                EXPECT_EQ(test::decode(png).width, 9u) << row;
                EXPECT_LT(test::brightness_at(png, 1, 0), 128u) << row;
                EXPECT_GT(test::brightness_at(png, 1, 4), 128u) << row;
                EXPECT_GT(test::brightness_at(png, 7, 0), 128u) << row;
                // An unused fourth byte of 0 is no transparency.
                EXPECT_EQ(test::alpha_at(png, 1, 0), 255u) << row;
            }
        }
    }
}

TEST_F(BmpInput, AlphaMasksAndEmbeddedProfilesAreRead) {
    const auto half_clear = [](unsigned x, unsigned) {
        return std::array<unsigned, 4>{200, 100, 50, x < 4 ? 0u : 255u};
    };
    for (const unsigned info_size : {56u, 108u, 124u}) {
        std::optional<image_size> shown;
        const std::string png =
            as_png(test::bmp_file(
                       {.width = 8, .height = 4, .info_size = info_size, .bits = 32, .alpha = true},
                       half_clear),
                   shown);
        ASSERT_FALSE(png.empty()) << info_size;
        EXPECT_EQ(test::alpha_at(png, 1, 1), 0u) << info_size;
        EXPECT_EQ(test::alpha_at(png, 6, 1), 255u) << info_size;
        EXPECT_EQ(test::colour_at(png, 6, 1).red, 200) << info_size;
    }

    // Red in a profile that swaps red and green is sRGB's green.
    std::optional<image_size> shown;
    const std::string png =
        as_png(test::bmp_file({.width = 4,
                               .height = 4,
                               .info_size = 124,
                               .icc_profile = test::swapped_primaries_profile()},
                              [](unsigned, unsigned) {
                                  return std::array<unsigned, 4>{255, 0, 0, 255};
                              }),
               shown);
    ASSERT_FALSE(png.empty());
    EXPECT_LT(test::colour_at(png, 1, 1).red, 10);
    EXPECT_GT(test::colour_at(png, 1, 1).green, 245);
}

} // namespace
} // namespace quorin::host
