#include "image_codec.h"

#include <FreeImage.h>
#include <algorithm>
#include <memory>

#include "file_type_check.h"
#include "resize_box.h"

namespace quorin::host {
namespace {

struct bitmap_deleter {
    void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};
using bitmap = std::unique_ptr<FIBITMAP, bitmap_deleter>;

// Replaces `image` with `converted` when the conversion gave a result.
bool replace(bitmap& image, FIBITMAP* converted) {
    if (converted == nullptr) return false;
    image.reset(converted);
    return true;
}

image_size size_of(FIBITMAP* image) {
    return {FreeImage_GetWidth(image), FreeImage_GetHeight(image)};
}

bool too_many_pixels(image_size size) {
    return std::uint64_t{size.width} * size.height > max_source_pixels;
}

// Whether a JPEG's Exif orientation (5 to 8) turns it a quarter, so that it
// shows with width and height exchanged.
bool turned_a_quarter(FIBITMAP* jpeg) {
    FITAG* tag = nullptr;
    if (!FreeImage_GetMetadata(FIMD_EXIF_MAIN, jpeg, "Orientation", &tag) ||
        FreeImage_GetTagType(tag) != FIDT_SHORT || FreeImage_GetTagCount(tag) != 1) {
        return false;
    }
    const auto orientation = *static_cast<const WORD*>(FreeImage_GetTagValue(tag));
    return orientation >= 5 && orientation <= 8;
}

// Decodes `source` into `image` and gives the size it is to be fitted to.
conversion_status load(const std::filesystem::path& source, int source_format,
                       const conversion_parameters& parameters, bitmap& image, image_size& target) {
    const std::string path = source.string();
    const auto format = static_cast<FREE_IMAGE_FORMAT>(source_format);
    const bool header_alone = FreeImage_FIFSupportsNoPixels(format) != FALSE;
    int flags = 0;
    if (header_alone) {
        const bitmap header(FreeImage_Load(format, path.c_str(), FIF_LOAD_NOPIXELS));
        if (!header) return conversion_status::unreadable;
        const image_size full = size_of(header.get());
        if (too_many_pixels(full)) return conversion_status::too_large;
        if (format == FIF_JPEG) {
            // Photos are shown the way their camera held them, so the box
            // is fitted to the turned picture. With the size known, the
            // decoder can scale by 1/2, 1/4 or 1/8 while decoding, never
            // below the size hint (its longer side, which turning keeps).
            const image_size shown =
                turned_a_quarter(header.get()) ? image_size{full.height, full.width} : full;
            target = fit_inside(shown, parameters.width, parameters.height);
            flags = JPEG_ACCURATE | JPEG_EXIFROTATE;
            if (target != shown)
                flags |= static_cast<int>(std::max(target.width, target.height) << 16);
        }
    }
    image.reset(FreeImage_Load(format, path.c_str(), flags));
    if (!image) return conversion_status::unreadable;
    if (format == FIF_JPEG && header_alone) return conversion_status::converted;
    const image_size decoded = size_of(image.get());
    if (too_many_pixels(decoded)) return conversion_status::too_large;
    target = fit_inside(decoded, parameters.width, parameters.height);
    return conversion_status::converted;
}

// Answers carry none of the source's metadata: its orientation is applied
// to the pixels already (an Exif tag left in would turn the picture twice),
// and a photo's location and camera details are not for every visitor.
void drop_metadata(FIBITMAP* image) {
    for (int model = FIMD_COMMENTS; model <= FIMD_EXIF_RAW; ++model) {
        FreeImage_SetMetadata(static_cast<FREE_IMAGE_MDMODEL>(model), image, nullptr, nullptr);
    }
}

// Brings a non-standard pixel type to 8 bits a channel: 16-bit colour is
// scaled down keeping its alpha, high dynamic range is tone-mapped (a plain
// clamp would burn out every value above 1), anything else is scaled to
// its own range.
bool to_standard_type(bitmap& image) {
    switch (FreeImage_GetImageType(image.get())) {
    case FIT_BITMAP:
        return true;
    case FIT_RGB16:
        return replace(image, FreeImage_ConvertTo24Bits(image.get()));
    case FIT_RGBA16:
        return replace(image, FreeImage_ConvertTo32Bits(image.get()));
    case FIT_FLOAT:
    case FIT_RGBF:
    case FIT_RGBAF:
        if (FreeImage_GetImageType(image.get()) != FIT_RGBF &&
            !replace(image, FreeImage_ConvertToRGBF(image.get()))) {
            return false;
        }
        return replace(image, FreeImage_ToneMapping(image.get(), FITMO_DRAGO03, 0, 0));
    default:
        return replace(image, FreeImage_ConvertToStandardType(image.get(), TRUE));
    }
}

// Brings any pixel layout to 24-bit colour, or 32-bit where there is
// transparency, which every writer and the rescaler take.
bool to_true_colour(bitmap& image) {
    if (!to_standard_type(image)) return false;
    const unsigned bpp = FreeImage_GetBPP(image.get());
    if (bpp == 24 || bpp == 32) return true;
    return FreeImage_IsTransparent(image.get())
               ? replace(image, FreeImage_ConvertTo32Bits(image.get()))
               : replace(image, FreeImage_ConvertTo24Bits(image.get()));
}

// JPEG and GIF have no alpha channel: transparent parts go on white.
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
    case output_format::png:
    case output_format::bmp:
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

conversion_status convert_image(const std::filesystem::path& source, int source_format,
                                const conversion_parameters& parameters, output_format format,
                                FIMEMORY* out) {
    image_size target{};
    bitmap image;
    if (const auto loaded = load(source, source_format, parameters, image, target);
        loaded != conversion_status::converted) {
        return loaded;
    }
    drop_metadata(image.get());
    if (!to_true_colour(image)) return conversion_status::failed;
    if (size_of(image.get()) != target &&
        !replace(image, FreeImage_Rescale(image.get(), static_cast<int>(target.width),
                                          static_cast<int>(target.height), FILTER_CATMULLROM))) {
        return conversion_status::failed;
    }
    int flags = 0;
    if (!prepare_for(format, parameters.quality, image, flags) || out == nullptr) {
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
