#include "support/heif_file.h"

#include <cmath>
#include <cstdint>
#include <libheif/heif.h>

namespace quorin::test {
namespace {

heif_error append(heif_context*, const void* data, std::size_t size, void* bytes) {
    static_cast<std::string*>(bytes)->append(static_cast<const char*>(data), size);
    return {heif_error_Ok, heif_suberror_Unspecified, ""};
}

// Each sample in the plane at the picture's depth: one byte each at 8
// bits, two little-endian bytes otherwise.
void fill(heif_image* image, const heif_picture& picture, const heif_pixels& pixel) {
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    const unsigned channels = picture.alpha ? 4 : 3;
    const double most = (1 << picture.bits) - 1;
    for (unsigned y = 0; y < picture.height; ++y) {
        std::uint8_t* row = plane + std::ptrdiff_t{stride} * y;
        for (unsigned x = 0; x < picture.width; ++x) {
            const auto colour = pixel(x, y);
            for (unsigned channel = 0; channel < channels; ++channel) {
                const auto value = static_cast<unsigned>(std::lround(colour[channel] * most));
                const unsigned at = x * channels + channel;
                if (picture.bits == 8) {
                    row[at] = static_cast<std::uint8_t>(value);
                } else {
                    row[2 * at] = static_cast<std::uint8_t>(value & 0xFF);
                    row[2 * at + 1] = static_cast<std::uint8_t>(value >> 8);
                }
            }
        }
    }
}

heif_chroma interleaved(const heif_picture& picture) {
    if (picture.bits == 8)
        return picture.alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
    return picture.alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE;
}

} // namespace

std::string heif_file(const heif_picture& picture, const heif_pixels& pixel) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = nullptr;
    heif_encoding_options* options = heif_encoding_options_alloc();
    std::string bytes;
    const auto width = static_cast<int>(picture.width);
    const auto height = static_cast<int>(picture.height);
    const bool made =
        heif_context_get_encoder_for_format(
            context, picture.hevc ? heif_compression_HEVC : heif_compression_AV1, &encoder)
                .code == heif_error_Ok &&
        heif_encoder_set_lossy_quality(encoder, 95).code == heif_error_Ok &&
        heif_encoder_set_lossless(encoder, picture.lossless ? 1 : 0).code == heif_error_Ok &&
        heif_encoder_set_parameter_string(encoder, "chroma", "444").code == heif_error_Ok &&
        heif_image_create(width, height, heif_colorspace_RGB, interleaved(picture), &image).code ==
            heif_error_Ok &&
        heif_image_add_plane(image, heif_channel_interleaved, width, height, picture.bits).code ==
            heif_error_Ok;
    if (made) {
        fill(image, picture, pixel);
        if (!picture.icc_profile.empty()) {
            heif_image_set_raw_color_profile(image, "prof", picture.icc_profile.data(),
                                             picture.icc_profile.size());
        }
        options->image_orientation = static_cast<heif_orientation>(picture.orientation);
        heif_writer writer{1, &append};
        if (heif_context_encode_image(context, image, encoder, options, nullptr).code !=
                heif_error_Ok ||
            heif_context_write(context, &writer, &bytes).code != heif_error_Ok) {
            bytes.clear();
        }
    }
    heif_encoding_options_free(options);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return bytes;
}

} // namespace quorin::test
