#include "support/decoded_image.h"

#include <FreeImage.h>
#include <stdexcept>

namespace quorin::test {

decoded_image decode(const std::string& bytes) {
    decoded_image result;
    FIMEMORY* stream =
        FreeImage_OpenMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())), static_cast<DWORD>(bytes.size()));
    if (stream == nullptr) return result;
    const FREE_IMAGE_FORMAT format = FreeImage_GetFileTypeFromMemory(stream, 0);
    if (format != FIF_UNKNOWN) {
        if (FIBITMAP* image = FreeImage_LoadFromMemory(format, stream, 0)) {
            result = {static_cast<int>(format), FreeImage_GetWidth(image), FreeImage_GetHeight(image),
                      FreeImage_GetBPP(image)};
            FreeImage_Unload(image);
        }
    }
    FreeImage_CloseMemory(stream);
    return result;
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

} // namespace quorin::test
