#include "image_codec.h"

#include <FreeImage.h>
#include <algorithm>
#include <memory>

#include "animated_gif.h"
#include "bitmap.h"
#include "colour_profile.h"
#include "exif_orientation.h"
#include "file_type_check.h"
#include "float_pixels.h"
#include "png_profile.h"
#include "resize_box.h"
#include "tiff_orientation.h"
#include "windowed_reader.h"

namespace quorin::host {
namespace {

image_size size_of(FIBITMAP* image) {
    return {FreeImage_GetWidth(image), FreeImage_GetHeight(image)};
}

// The size of the picture turned as its camera held it.
image_size shown_size(FIBITMAP* image) {
    const image_size stored = size_of(image);
    return turns_a_quarter(exif_orientation(image)) ? image_size{stored.height, stored.width}
                                                    : stored;
}

bool too_many_pixels(image_size size) {
    return std::uint64_t{size.width} * size.height > max_source_pixels;
}

// Decodes the open file from its start.
FIBITMAP* load_from(const os::read_only_file& source, FREE_IMAGE_FORMAT format, int flags) {
    windowed_reader reader(source);
    return FreeImage_LoadFromHandle(format, windowed_reader_io(), &reader, flags);
}

// Decodes `source` into `image` and gives the size it is to be fitted to.
conversion_status load(const os::read_only_file& source, int source_format,
                       const conversion_parameters& parameters, bitmap& image, image_size& target) {
    const auto format = static_cast<FREE_IMAGE_FORMAT>(source_format);
    const bool header_alone = FreeImage_FIFSupportsNoPixels(format) != FALSE;
    int flags = 0;
    if (header_alone) {
        const bitmap header(load_from(source, format, FIF_LOAD_NOPIXELS));
        if (!header) return conversion_status::unreadable;
        if (too_many_pixels(size_of(header.get()))) return conversion_status::too_large;
        if (format == FIF_JPEG) {
            // Photos are shown the way their camera held them, so the box
            // is fitted to the turned picture. With the size known, the
            // decoder can scale by 1/2, 1/4 or 1/8 while decoding, never
            // below the size hint (its longer side, which turning keeps).
            const image_size shown = shown_size(header.get());
            target = fit_inside(shown, parameters.width, parameters.height);
            flags = JPEG_ACCURATE | JPEG_EXIFROTATE;
            if (target != shown)
                flags |= static_cast<int>(std::max(target.width, target.height) << 16);
        }
    }
    image.reset(load_from(source, format, flags));
    if (!image) return conversion_status::unreadable;
    // What the library's loaders leave out of these formats, read from the file.
    if (format == FIF_TIFF) set_exif_orientation(image.get(), tiff_orientation(source));
    if (format == FIF_PNG) attach_profile(image.get(), png_icc_profile(source));
    if (format == FIF_JPEG && header_alone) return conversion_status::converted;
    if (too_many_pixels(size_of(image.get()))) return conversion_status::too_large;
    target = fit_inside(shown_size(image.get()), parameters.width, parameters.height);
    return conversion_status::converted;
}

// Answers carry none of the source's metadata: its orientation is applied
// to the pixels already (an Exif tag left in would turn the picture twice),
// a photo's location and camera details are not for every visitor, and
// the pixels are sRGB, which needs no profile.
void drop_metadata(FIBITMAP* image) {
    for (int model = FIMD_COMMENTS; model <= FIMD_EXIF_RAW; ++model) {
        FreeImage_SetMetadata(static_cast<FREE_IMAGE_MDMODEL>(model), image, nullptr, nullptr);
    }
    FreeImage_DestroyICCProfile(image);
}

// Brings a non-standard pixel type to 8 bits a channel: 16-bit is scaled
// down keeping its alpha, floats as float_to_8_bits does, anything else
// (signed, 32-bit, double, complex) is scaled to its own range.
bool to_standard_type(bitmap& image, bool linear_light) {
    switch (FreeImage_GetImageType(image.get())) {
    case FIT_BITMAP:
        return true;
    case FIT_UINT16:
        return replace(image, FreeImage_ConvertTo8Bits(image.get()));
    case FIT_RGB16:
        return replace(image, FreeImage_ConvertTo24Bits(image.get()));
    case FIT_RGBA16:
        return replace(image, FreeImage_ConvertTo32Bits(image.get()));
    case FIT_FLOAT:
    case FIT_RGBF:
    case FIT_RGBAF:
        return replace(image, float_to_8_bits(image.get(), linear_light));
    default:
        return replace(image, FreeImage_ConvertToStandardType(image.get(), TRUE));
    }
}

// Brings any pixel layout to 24-bit colour, or 32-bit where there is
// transparency, which every writer and the rescaler take.
bool to_true_colour(bitmap& image, bool linear_light = false) {
    if (!to_standard_type(image, linear_light)) return false;
    const unsigned bpp = FreeImage_GetBPP(image.get());
    if (bpp == 24 || bpp == 32) return true;
    return FreeImage_IsTransparent(image.get())
               ? replace(image, FreeImage_ConvertTo32Bits(image.get()))
               : replace(image, FreeImage_ConvertTo24Bits(image.get()));
}

// Brings a decoded source to 8-bit sRGB colour, turned as its camera held
// it, without metadata.
bool to_upright_srgb(bitmap& image, int source_format) {
    // The JPEG loader has turned the picture already; others leave it to us.
    const int orientation = source_format == FIF_JPEG ? 1 : exif_orientation(image.get());
    const srgb_conversion colour(image.get());
    drop_metadata(image.get());
    // These formats store scene light, not display values.
    const bool linear_light = source_format == FIF_EXR || source_format == FIF_HDR;
    if (!to_true_colour(image, linear_light)) return false;
    colour.apply(image.get());
    return turn_upright(image, orientation);
}

// Resizes `image` to `target`.
bool fit(bitmap& image, image_size target) {
    return size_of(image.get()) == target ||
           replace(image, FreeImage_Rescale(image.get(), static_cast<int>(target.width),
                                            static_cast<int>(target.height), FILTER_CATMULLROM));
}

// JPEG and GIF have no alpha channel, and browsers ignore a BMP's:
// transparent parts go on white.
bool flatten(bitmap& image) {
    if (FreeImage_GetBPP(image.get()) != 32) return true;
    RGBQUAD white{255, 255, 255, 0};
    return replace(image, FreeImage_Composite(image.get(), FALSE, &white, nullptr));
}

// The writer's pixel layout and flags.
bool prepare_for(output_format format, int quality, bitmap& image, int& flags) {
    flags = 0;
    switch (format) {
    case output_format::jpeg:
        flags = quality;
        return flatten(image);
    case output_format::gif:
        return flatten(image) && replace(image, FreeImage_ColorQuantize(image.get(), FIQ_WUQUANT));
    case output_format::webp:
        flags = quality;
        return true;
    case output_format::bmp:
        return flatten(image);
    case output_format::png:
        return true;
    }
    return false;
}

// The format, when the library can read it.
std::optional<int> if_readable(int format) {
    if (format == FIF_UNKNOWN ||
        !FreeImage_FIFSupportsReading(static_cast<FREE_IMAGE_FORMAT>(format))) {
        return std::nullopt;
    }
    return format;
}

} // namespace

memory_stream::memory_stream() : stream_(FreeImage_OpenMemory()) {}

memory_stream::~memory_stream() {
    if (stream_ != nullptr) FreeImage_CloseMemory(stream_);
}

std::optional<int> readable_format(const std::filesystem::path& file) {
    return if_readable(file_type_of(file));
}

std::optional<int> readable_format(const os::read_only_file& file) {
    return if_readable(file_type_of(file));
}

output_format default_output_format(int source_format) {
    switch (source_format) {
    case FIF_JPEG:
        return output_format::jpeg;
    case FIF_GIF:
        return output_format::gif;
    case FIF_BMP:
        return output_format::bmp;
    case FIF_WEBP:
        return output_format::webp;
    default:
        return output_format::png;
    }
}

int library_format(output_format format) {
    switch (format) {
    case output_format::png:
        return FIF_PNG;
    case output_format::jpeg:
        return FIF_JPEG;
    case output_format::gif:
        return FIF_GIF;
    case output_format::bmp:
        return FIF_BMP;
    case output_format::webp:
        return FIF_WEBP;
    }
    return FIF_UNKNOWN;
}

bool can_write(output_format format) {
    return FreeImage_FIFSupportsWriting(static_cast<FREE_IMAGE_FORMAT>(library_format(format))) !=
           FALSE;
}

conversion_status convert_image(const os::read_only_file& source, int source_format,
                                const conversion_parameters& parameters, output_format format,
                                FIMEMORY* out) {
    image_size target{};
    bitmap image;
    if (const auto loaded = load(source, source_format, parameters, image, target);
        loaded != conversion_status::converted) {
        return loaded;
    }
    int flags = 0;
    if (source_format == FIF_GIF && format == output_format::gif) {
        const auto animated = convert_animation(
            source, image.get(),
            [&](bitmap& frame) {
                return to_true_colour(frame) && fit(frame, target) &&
                       prepare_for(format, parameters.quality, frame, flags);
            },
            out);
        if (animated) return *animated;
    }
    if (!to_upright_srgb(image, source_format) || !fit(image, target) ||
        !prepare_for(format, parameters.quality, image, flags) || out == nullptr) {
        return conversion_status::failed;
    }
    const auto writer = static_cast<FREE_IMAGE_FORMAT>(library_format(format));
    return FreeImage_SaveToMemory(writer, image.get(), out, flags) ? conversion_status::converted
                                                                   : conversion_status::failed;
}

} // namespace quorin::host

namespace quorin::host {

bool write_image_file(FIBITMAP* image, output_format format, int quality,
                      const std::filesystem::path& file) {
    bitmap copy(FreeImage_Clone(image));
    int flags = 0;
    if (!copy || !to_true_colour(copy) || !prepare_for(format, quality, copy, flags)) return false;
    const auto writer = static_cast<FREE_IMAGE_FORMAT>(library_format(format));
    return FreeImage_Save(writer, copy.get(), file.string().c_str(), flags) != FALSE;
}

} // namespace quorin::host
