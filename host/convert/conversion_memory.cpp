#include "convert/conversion_memory.h"

#include <algorithm>

#include "convert/conversion_job.h"
#include "imaging/avif_encoder.h"
#include "imaging/image_codec.h"

namespace quorin::host {
namespace {

std::uint64_t pixels(image_size size) { return std::uint64_t{size.width} * size.height; }

constexpr unsigned output_bits_per_pixel = 32;

} // namespace

std::uint64_t conversion_bytes(image_size source, unsigned source_bits_per_pixel,
                               image_size output) {
    const auto bytes = [](image_size size, unsigned bits) { return (pixels(size) * bits + 7) / 8; };
    return bytes(source, source_bits_per_pixel) + bytes(output, output_bits_per_pixel);
}

std::uint64_t conversion_share(const conversion_job& job, std::uint64_t budget) {
    const auto encoder = [&job](std::uint64_t output_pixels) -> std::uint64_t {
        return job.format == output_format::avif ? avif_encoder_bytes(output_pixels) : 0;
    };
    if (job.plan) {
        return conversion_bytes(job.plan->source, job.source_bits_per_pixel, job.plan->output) +
               encoder(pixels(job.plan->output));
    }
    // The source and its resized copy, neither more than the largest source.
    const std::uint64_t largest =
        2 * max_source_pixels * output_bits_per_pixel / 8 + encoder(max_source_pixels);
    return std::min(largest, budget);
}

} // namespace quorin::host
