#include "imaging/float_pixels.h"

#include <algorithm>
#include <cmath>

#include "imaging/bitmap.h"

namespace quorin::host {
namespace {

BYTE to_byte(float value) {
    return static_cast<BYTE>(std::lround(std::clamp(value, 0.0F, 1.0F) * 255.0F));
}

float brightest(FIBITMAP* rgbaf) {
    float most = 0.0F;
    for (unsigned y = 0; y < FreeImage_GetHeight(rgbaf); ++y) {
        const auto* pixel =
            reinterpret_cast<const FIRGBAF*>(FreeImage_GetScanLine(rgbaf, static_cast<int>(y)));
        for (unsigned x = 0; x < FreeImage_GetWidth(rgbaf); ++x, ++pixel)
            most = std::max({most, pixel->red, pixel->green, pixel->blue});
    }
    return most;
}

// Each channel of `rgbaf` times 255, as 24-bit colour or 32 with `alpha`.
FIBITMAP* scaled_to_bytes(FIBITMAP* rgbaf, bool alpha) {
    const unsigned width = FreeImage_GetWidth(rgbaf);
    const unsigned height = FreeImage_GetHeight(rgbaf);
    FIBITMAP* result =
        FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height), alpha ? 32 : 24);
    if (result == nullptr) return nullptr;
    const unsigned step = alpha ? 4 : 3;
    for (unsigned y = 0; y < height; ++y) {
        const auto* from =
            reinterpret_cast<const FIRGBAF*>(FreeImage_GetScanLine(rgbaf, static_cast<int>(y)));
        BYTE* to = FreeImage_GetScanLine(result, static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x, ++from, to += step) {
            to[FI_RGBA_RED] = to_byte(from->red);
            to[FI_RGBA_GREEN] = to_byte(from->green);
            to[FI_RGBA_BLUE] = to_byte(from->blue);
            if (alpha) to[FI_RGBA_ALPHA] = to_byte(from->alpha);
        }
    }
    return result;
}

} // namespace

FIBITMAP* float_to_8_bits(FIBITMAP* image, bool linear_light) {
    const bitmap rgbaf(FreeImage_ConvertToRGBAF(image));
    if (!rgbaf) return nullptr;
    if (!linear_light && brightest(rgbaf.get()) <= 1.0F)
        return scaled_to_bytes(rgbaf.get(), FreeImage_GetImageType(image) == FIT_RGBAF);
    const bitmap rgbf(FreeImage_ConvertToRGBF(image));
    return rgbf ? FreeImage_ToneMapping(rgbf.get(), FITMO_DRAGO03, 0, 0) : nullptr;
}

} // namespace quorin::host
