#include "imaging/avif_encoder.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "imaging/heif_handles.h"

namespace quorin::host {
namespace {

std::atomic<int> chosen_speed{default_avif_speed};

bool succeeded(const heif_error& error) { return error.code == heif_error_Ok; }

struct stream_target {
    FreeImageIO* io;
    fi_handle handle;
};

heif_error write_to_stream(heif_context*, const void* data, std::size_t size, void* target) {
    const auto& [io, handle] = *static_cast<const stream_target*>(target);
    const unsigned written =
        io->write_proc(const_cast<void*>(data), 1, static_cast<unsigned>(size), handle);
    if (written == size) return {heif_error_Ok, heif_suberror_Unspecified, ""};
    return {heif_error_Encoding_error, heif_suberror_Cannot_write_output_data, "short write"};
}

// The picture as libheif takes it: rows from the top, red first.
heif_image_ptr interleaved_copy(FIBITMAP* image) {
    const unsigned width = FreeImage_GetWidth(image);
    const unsigned height = FreeImage_GetHeight(image);
    const bool alpha = FreeImage_GetBPP(image) == 32;
    heif_image* made = nullptr;
    if (!succeeded(heif_image_create(
            static_cast<int>(width), static_cast<int>(height), heif_colorspace_RGB,
            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, &made))) {
        return nullptr;
    }
    heif_image_ptr copy(made);
    if (!succeeded(heif_image_add_plane(made, heif_channel_interleaved, static_cast<int>(width),
                                        static_cast<int>(height), 8))) {
        return nullptr;
    }
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(made, heif_channel_interleaved, &stride);
    const unsigned channels = alpha ? 4 : 3;
    for (unsigned y = 0; y < height; ++y) {
        // The library counts rows from the bottom and keeps blue first.
        const BYTE* from = FreeImage_GetScanLine(image, static_cast<int>(height - 1 - y));
        std::uint8_t* to = plane + std::ptrdiff_t{stride} * y;
        for (unsigned x = 0; x < width; ++x, from += channels, to += channels) {
            to[0] = from[FI_RGBA_RED];
            to[1] = from[FI_RGBA_GREEN];
            to[2] = from[FI_RGBA_BLUE];
            if (alpha) to[3] = from[FI_RGBA_ALPHA];
        }
    }
    return copy;
}

heif_encoder_ptr av1_encoder(heif_context* context, int quality) {
    heif_encoder* made = nullptr;
    if (!succeeded(heif_context_get_encoder_for_format(context, heif_compression_AV1, &made)))
        return nullptr;
    heif_encoder_ptr encoder(made);
    // One thread: a conversion holds one slot, which stands for one core;
    // the encoder's own default would take four while holding one.
    const bool set =
        succeeded(heif_encoder_set_lossy_quality(made, quality)) &&
        succeeded(heif_encoder_set_parameter_integer(made, "alpha-quality", quality)) &&
        succeeded(heif_encoder_set_parameter_integer(made, "speed", chosen_speed.load())) &&
        succeeded(heif_encoder_set_parameter_integer(made, "threads", 1));
    return set ? std::move(encoder) : nullptr;
}

} // namespace

void set_avif_speed(int speed) {
    chosen_speed.store(std::clamp(speed, slowest_avif_speed, fastest_avif_speed));
}

bool can_encode_avif() { return heif_have_encoder_for_format(heif_compression_AV1) != 0; }

std::uint64_t avif_encoder_bytes(std::uint64_t pixels) {
    // Measured (bench/encoder_memory.sh): about 21 bytes a pixel at speeds
    // 6 to 9 and 34 at 4 and below, over a fixed part of 6 to 16 MiB.
    constexpr std::uint64_t fixed = 16 << 20;
    const std::uint64_t per_pixel = chosen_speed.load() >= 6 ? 24 : 40;
    return fixed + per_pixel * pixels;
}

bool encode_avif(FIBITMAP* image, int quality, FreeImageIO* io, fi_handle handle) {
    const unsigned bpp = FreeImage_GetBPP(image);
    if (FreeImage_GetImageType(image) != FIT_BITMAP || (bpp != 24 && bpp != 32)) return false;
    const heif_context_ptr context(heif_context_alloc());
    const heif_image_ptr pixels = interleaved_copy(image);
    const heif_encoder_ptr encoder =
        context && pixels ? av1_encoder(context.get(), quality) : nullptr;
    const heif_encoding_options_ptr options(heif_encoding_options_alloc());
    if (!encoder || !options) return false;
    if (!succeeded(heif_context_encode_image(context.get(), pixels.get(), encoder.get(),
                                             options.get(), nullptr))) {
        return false;
    }
    heif_writer writer{1, &write_to_stream};
    stream_target target{io, handle};
    return succeeded(heif_context_write(context.get(), &writer, &target));
}

} // namespace quorin::host
