#include "imaging/heif_decoder.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "imaging/bitmap.h"
#include "imaging/colour_profile.h"
#include "imaging/heif_handles.h"

// The library's allocator of bitmaps without pixels, exported for plugins
// but declared only in the library's own headers.
extern "C" FIBITMAP* DLL_CALLCONV FreeImage_AllocateHeader(BOOL header_only, int width, int height,
                                                           int bpp, unsigned red_mask,
                                                           unsigned green_mask, unsigned blue_mask);

namespace quorin::host {
namespace {

bool succeeded(const heif_error& error) { return error.code == heif_error_Ok; }

// libheif's reader over the library's stream, from the position the file
// starts at.
struct stream_source {
    FreeImageIO* io;
    fi_handle handle;
    long start;
    std::int64_t size;
};

stream_source& source_of(void* userdata) { return *static_cast<stream_source*>(userdata); }

std::int64_t position_in(void* userdata) {
    const stream_source& source = source_of(userdata);
    return source.io->tell_proc(source.handle) - source.start;
}

int read_from(void* into, std::size_t size, void* userdata) {
    const stream_source& source = source_of(userdata);
    return source.io->read_proc(into, 1, static_cast<unsigned>(size), source.handle) == size ? 0
                                                                                             : 1;
}

int seek_in(std::int64_t position, void* userdata) {
    const stream_source& source = source_of(userdata);
    return source.io->seek_proc(source.handle, static_cast<long>(source.start + position),
                                SEEK_SET) == 0
               ? 0
               : 1;
}

heif_reader_grow_status grown_to(std::int64_t target, void* userdata) {
    return target <= source_of(userdata).size ? heif_reader_grow_status_size_reached
                                              : heif_reader_grow_status_size_beyond_eof;
}

// The ICC profile the container carries, attached for the conversion to
// sRGB that every source gets.
void attach_container_profile(const heif_image_handle* handle, FIBITMAP* image) {
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC) return;
    std::string profile(heif_image_handle_get_raw_color_profile_size(handle), '\0');
    if (!profile.empty() &&
        succeeded(heif_image_handle_get_raw_color_profile(handle, profile.data()))) {
        attach_profile(image, profile);
    }
}

// The decoded pixels in the library's layout: rows from the bottom, blue
// first.
bitmap library_copy(const heif_image* decoded, bool alpha) {
    const int width = heif_image_get_width(decoded, heif_channel_interleaved);
    const int height = heif_image_get_height(decoded, heif_channel_interleaved);
    const unsigned channels = alpha ? 4 : 3;
    bitmap image(FreeImage_Allocate(width, height, static_cast<int>(channels * 8), FI_RGBA_RED_MASK,
                                    FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
    if (!image) return nullptr;
    int stride = 0;
    const std::uint8_t* plane =
        heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* from = plane + std::ptrdiff_t{stride} * y;
        BYTE* to = FreeImage_GetScanLine(image.get(), height - 1 - y);
        for (int x = 0; x < width; ++x, from += channels, to += channels) {
            to[FI_RGBA_RED] = from[0];
            to[FI_RGBA_GREEN] = from[1];
            to[FI_RGBA_BLUE] = from[2];
            if (alpha) to[FI_RGBA_ALPHA] = from[3];
        }
    }
    return image;
}

} // namespace

FIBITMAP* decode_heif(FreeImageIO* io, fi_handle handle, bool header_only) {
    stream_source source{io, handle, io->tell_proc(handle), 0};
    if (io->seek_proc(handle, 0, SEEK_END) != 0) return nullptr;
    source.size = io->tell_proc(handle) - source.start;
    if (io->seek_proc(handle, source.start, SEEK_SET) != 0) return nullptr;

    heif_reader reader{1, &position_in, &read_from, &seek_in, &grown_to};
    const heif_context_ptr context(heif_context_alloc());
    heif_image_handle* primary = nullptr;
    if (!context ||
        !succeeded(heif_context_read_from_reader(context.get(), &reader, &source, nullptr)) ||
        !succeeded(heif_context_get_primary_image_handle(context.get(), &primary))) {
        return nullptr;
    }
    const heif_handle_ptr picture(primary);
    const bool alpha = heif_image_handle_has_alpha_channel(primary) != 0;
    if (header_only) {
        // The size libheif gives is the size shown, after any turn.
        return FreeImage_AllocateHeader(TRUE, heif_image_handle_get_width(primary),
                                        heif_image_handle_get_height(primary), alpha ? 32 : 24,
                                        FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK);
    }
    // Asked for 8-bit interleaved RGB, libheif applies the container's
    // turns and mirrors and brings deeper pictures down to 8 bits.
    heif_image* pixels = nullptr;
    if (!succeeded(heif_decode_image(
            primary, &pixels, heif_colorspace_RGB,
            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr))) {
        return nullptr;
    }
    const heif_image_ptr decoded(pixels);
    bitmap image = library_copy(decoded.get(), alpha);
    if (image) attach_container_profile(primary, image.get());
    return image.release();
}

} // namespace quorin::host
