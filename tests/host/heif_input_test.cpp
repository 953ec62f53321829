// AVIF and HEIC sources: what their header tells before decoding, and
// their pixels brought to what every answer is made from.
#include <FreeImage.h>
#include <gtest/gtest.h>

#include "convert/conversion_job.h"
#include "imaging/heif_formats.h"
#include "imaging/image_codec.h"
#include "os/read_only_file.h"
#include "support/decoded_image.h"
#include "support/heif_file.h"
#include "support/temp_dir.h"

namespace quorin::host {
namespace {

using test::stream_bytes;

TEST(HeifInput, DeepPicturesComeDownTo8BitsWithTheirAlphaKept) {
    // 48 x 32, dark grey (0.2) on the left and light (0.8) on the right,
    // opaque in the top half and clear below, turned a quarter to the
    // right: 32 x 48 as shown.
    const struct {
        const char* name;
        bool hevc;
        int bits;
    } rows[] = {
        {"8.avif", false, 8}, {"12.avif", false, 12}, {"8.heic", true, 8}, {"10.heic", true, 10}};
    const test::temp_dir dir;
    for (const auto& [name, hevc, bits] : rows) {
        const auto file = dir.path() / name;
        test::write_file(
            file,
            test::heif_file({.hevc = hevc,
                             .width = 48,
                             .height = 32,
                             .bits = bits,
                             .alpha = true,
                             .orientation = 6},
                            [](unsigned x, unsigned y) {
                                const double grey = x < 24 ? 0.2 : 0.8;
                                return std::array<double, 4>{grey, grey, grey, y < 16 ? 1.0 : 0.0};
                            }));
        const auto opened = os::read_only_file::open(file.string());
        ASSERT_TRUE(opened) << name;
        const auto format = readable_format(*opened);
        ASSERT_EQ(format, hevc ? heif_format() : avif_format()) << name;

        // The cache name and the memory share are planned from the header.
        conversion_job job;
        job.source = opened.get();
        job.relative_source = name;
        job.source_format = *format;
        job.parameters.width = 16;
        name_cache_entry(job);
        ASSERT_TRUE(job.plan) << name;
        EXPECT_EQ(job.plan->source, (image_size{32, 48})) << name;
        EXPECT_EQ(job.source_bits_per_pixel, 32u) << name;

        const memory_stream out;
        ASSERT_EQ(convert_image(*opened, *format, {}, output_format::png, out.get()),
                  conversion_status::converted)
            << name;
        const std::string answer = stream_bytes(out);
        const auto shown = test::decode(answer);
        EXPECT_EQ(shown.width, 32u) << name;
        EXPECT_EQ(shown.height, 48u) << name;
        // Turned right: the stored left is now the top, the stored top the right.
        EXPECT_NEAR(test::brightness_at(answer, 28, 4), 51, 6) << name;
        EXPECT_NEAR(test::brightness_at(answer, 28, 44), 204, 6) << name;
        EXPECT_GT(test::alpha_at(answer, 28, 4), 247u) << name;
        EXPECT_LT(test::alpha_at(answer, 4, 4), 8u) << name;
    }
}

} // namespace
} // namespace quorin::host
