#include "convert/conversion_memory.h"

#include <gtest/gtest.h>

#include "convert/conversion_admission.h"
#include "convert/conversion_job.h"
#include "imaging/image_codec.h"
#include "imaging/sample_images.h"
#include "os/read_only_file.h"
#include "support/temp_dir.h"

namespace quorin::host {
namespace {

TEST(ConversionMemory, TheDecodedSourceAtItsDepthAndTheOutputAt32Bits) {
    struct row {
        image_size source;
        unsigned bits;
        image_size output;
        std::uint64_t bytes;
    };
    const row rows[] = {
        {{100, 50}, 24, {10, 5}, 100 * 50 * 3 + 10 * 5 * 4},
        {{3, 1}, 1, {3, 1}, 1 + 3 * 4}, // part of a byte counts whole
        {{60'000, 60'000}, 128, {8192, 8192}, 57'600'000'000 + 268'435'456},
    };
    for (const row& r : rows) {
        EXPECT_EQ(conversion_bytes(r.source, r.bits, r.output), r.bytes)
            << r.source.width << "x" << r.source.height << " at " << r.bits;
    }
}

// The share comes from the header the cache name was planned from; a GIF,
// whose header is not read alone, is charged the largest source accepted,
// at most the whole budget.
TEST(ConversionMemory, TheShareComesFromTheSourcesHeader) {
    struct row {
        const char* name;
        output_format format;
        bool transparent;
        unsigned bits; // 0: no plan
    };
    const row rows[] = {{"photo.jpg", output_format::jpeg, false, 24},
                        {"clear.png", output_format::png, true, 32},
                        {"clear.avif", output_format::avif, true, 32},
                        {"moving.gif", output_format::gif, false, 0}};
    const test::temp_dir dir;
    constexpr std::uint64_t budget = 1'000'000'000;
    constexpr std::uint64_t largest = 800'000'000; // 100 megapixels at 4 bytes, twice
    for (const row& r : rows) {
        const auto file = dir.path() / r.name;
        ASSERT_TRUE(write_pattern_image(file, 120, 80, r.format, pattern::rings, r.transparent));
        const auto opened = os::read_only_file::open(file.string());
        ASSERT_TRUE(opened);
        conversion_job job;
        job.source = opened.get();
        job.source_format = *readable_format(*opened);
        job.parameters.width = 30;
        name_cache_entry(job);
        if (r.bits == 0) {
            EXPECT_FALSE(job.plan) << r.name;
            EXPECT_EQ(conversion_share(job, budget), largest) << r.name;
            EXPECT_EQ(conversion_share(job, 1000), 1000u) << r.name;
            continue;
        }
        ASSERT_TRUE(job.plan) << r.name;
        EXPECT_EQ(conversion_share(job, budget), conversion_bytes({120, 80}, r.bits, {30, 20}))
            << r.name;
    }
}

// AVIF's encoder takes many times the picture's memory: a budget that
// holds one AVIF conversion runs two JPEG conversions of the same picture
// at once, but no second AVIF one.
TEST(ConversionMemory, AnAvifEncodeIsChargedItsEncodersMemory) {
    const test::temp_dir dir;
    const auto file = dir.path() / "photo.jpg";
    ASSERT_TRUE(write_pattern_image(file, 400, 300, output_format::jpeg, pattern::waves));
    const auto opened = os::read_only_file::open(file.string());
    ASSERT_TRUE(opened);
    const auto share_as = [&](output_format format) {
        conversion_job job;
        job.source = opened.get();
        job.source_format = *readable_format(*opened);
        job.format = format;
        name_cache_entry(job);
        return conversion_share(job, std::uint64_t{1} << 40);
    };
    const std::uint64_t budget = share_as(output_format::avif);
    for (const auto& [format, at_once] :
         {std::pair{output_format::jpeg, 2u}, std::pair{output_format::avif, 1u}}) {
        conversion_admission admission({2, budget, 0, {}});
        const auto first = admission.admit(share_as(format));
        const auto second = admission.admit(share_as(format));
        EXPECT_EQ(unsigned{first.granted()} + unsigned{second.granted()}, at_once)
            << format_name(format);
    }
}

} // namespace
} // namespace quorin::host
