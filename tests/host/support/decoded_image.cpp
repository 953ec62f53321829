#include "support/decoded_image.h"

#include <FreeImage.h>
#include <stdexcept>

#include "imaging/heif_formats.h"
#include "imaging/memory_stream.h"

namespace quorin::test {

std::string stream_bytes(const host::memory_stream& stream) {
    BYTE* data = nullptr;
    DWORD size = 0;
    if (!FreeImage_AcquireMemory(stream.get(), &data, &size)) return {};
    return std::string(reinterpret_cast<const char*>(data), size);
}

namespace {

// Decodes `bytes` and hands the bitmap to `use`; false when not an image.
template <typename Use>
bool with_bitmap(const std::string& bytes, Use use) {
    FIMEMORY* stream = FreeImage_OpenMemory(
        reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())), static_cast<DWORD>(bytes.size()));
    if (stream == nullptr) return false;
    // The host's own formats, for answers read back in a process that has
    // converted nothing.
    host::register_heif_formats();
    bool decoded = false;
    const FREE_IMAGE_FORMAT format = FreeImage_GetFileTypeFromMemory(stream, 0);
    if (format != FIF_UNKNOWN) {
        if (FIBITMAP* image = FreeImage_LoadFromMemory(format, stream, 0)) {
            use(format, image);
            FreeImage_Unload(image);
            decoded = true;
        }
    }
    FreeImage_CloseMemory(stream);
    return decoded;
}

} // namespace

decoded_image decode(const std::string& bytes) {
    decoded_image result;
    with_bitmap(bytes, [&](FREE_IMAGE_FORMAT format, FIBITMAP* image) {
        result = {static_cast<int>(format), FreeImage_GetWidth(image), FreeImage_GetHeight(image),
                  FreeImage_GetBPP(image)};
    });
    return result;
}

unsigned brightness_at(const std::string& bytes, unsigned x, unsigned y) {
    unsigned brightness = 0;
    const bool decoded = with_bitmap(bytes, [&](FREE_IMAGE_FORMAT, FIBITMAP* image) {
        FIBITMAP* grey = FreeImage_ConvertToGreyscale(image);
        BYTE value = 0;
        // The library counts rows from the bottom.
        if (grey == nullptr ||
            !FreeImage_GetPixelIndex(grey, x, FreeImage_GetHeight(grey) - 1 - y, &value)) {
            throw std::runtime_error("no pixel there");
        }
        FreeImage_Unload(grey);
        brightness = value;
    });
    if (!decoded) throw std::runtime_error("not an image");
    return brightness;
}

rgb_colour colour_at(const std::string& bytes, unsigned x, unsigned y) {
    rgb_colour colour;
    const bool decoded = with_bitmap(bytes, [&](FREE_IMAGE_FORMAT, FIBITMAP* image) {
        FIBITMAP* true_colour = FreeImage_ConvertTo24Bits(image);
        RGBQUAD pixel{};
        if (true_colour == nullptr ||
            !FreeImage_GetPixelColor(true_colour, x, FreeImage_GetHeight(true_colour) - 1 - y,
                                     &pixel)) {
            throw std::runtime_error("no pixel there");
        }
        FreeImage_Unload(true_colour);
        colour = {pixel.rgbRed, pixel.rgbGreen, pixel.rgbBlue};
    });
    if (!decoded) throw std::runtime_error("not an image");
    return colour;
}

unsigned alpha_at(const std::string& bytes, unsigned x, unsigned y) {
    unsigned alpha = 0;
    const bool decoded = with_bitmap(bytes, [&](FREE_IMAGE_FORMAT, FIBITMAP* image) {
        FIBITMAP* with_alpha = FreeImage_ConvertTo32Bits(image);
        RGBQUAD pixel{};
        if (with_alpha == nullptr ||
            !FreeImage_GetPixelColor(with_alpha, x, FreeImage_GetHeight(with_alpha) - 1 - y,
                                     &pixel)) {
            throw std::runtime_error("no pixel there");
        }
        FreeImage_Unload(with_alpha);
        alpha = pixel.rgbReserved;
    });
    if (!decoded) throw std::runtime_error("not an image");
    return alpha;
}

std::string with_claimed_jpeg_size(std::string jpeg, unsigned width, unsigned height) {
    const auto byte_at = [&](std::size_t i) { return static_cast<unsigned char>(jpeg.at(i)); };
    const auto put16 = [&](std::size_t i, unsigned value) {
        jpeg.at(i) = static_cast<char>(value >> 8);
        jpeg.at(i + 1) = static_cast<char>(value & 0xFF);
    };
    // Walk the segments after the start marker up to the frame header
    // (baseline, extended or progressive): length, precision, height, width.
    for (std::size_t i = 2; i + 9 <= jpeg.size(); i += 2 + (byte_at(i + 2) << 8 | byte_at(i + 3))) {
        if (byte_at(i) != 0xFF) break;
        if (byte_at(i + 1) >= 0xC0 && byte_at(i + 1) <= 0xC2) {
            put16(i + 5, height);
            put16(i + 7, width);
            return jpeg;
        }
    }
    throw std::runtime_error("no JPEG frame header found");
}

std::string exif_orientation_block(unsigned orientation) {
    // "Exif", a little-endian TIFF header, one directory of one entry: tag
    // 0x0112 (orientation), type SHORT, count 1, the value; no next one.
    return std::string("Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 24) +
           static_cast<char>(orientation) + std::string(7, '\0');
}

std::string with_exif_orientation(const std::string& jpeg, unsigned orientation) {
    // In an APP1 segment.
    const std::string exif = exif_orientation_block(orientation);
    const std::size_t length = exif.size() + 2;
    const std::string segment = std::string("\xFF\xE1") + static_cast<char>(length >> 8) +
                                static_cast<char>(length & 0xFF) + exif;
    return jpeg.substr(0, 2) + segment + jpeg.substr(2);
}

} // namespace quorin::test
