#include "imaging/colour_profile.h"

#include <FreeImage.h>
#include <lcms2.h>
#include <memory>

namespace quorin::host {
namespace {

// The library's byte order of a pixel's channels.
cmsUInt32Number pixel_format(bool alpha) {
    if (FREEIMAGE_COLORORDER == FREEIMAGE_COLORORDER_BGR) return alpha ? TYPE_BGRA_8 : TYPE_BGR_8;
    return alpha ? TYPE_RGBA_8 : TYPE_RGB_8;
}

struct transform_deleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
struct profile_deleter {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};

} // namespace

void attach_profile(FIBITMAP* image, const std::string& profile) {
    const FIICCPROFILE* embedded = FreeImage_GetICCProfile(image);
    if (profile.empty() || (embedded != nullptr && embedded->size > 0)) return;
    FreeImage_CreateICCProfile(image, const_cast<char*>(profile.data()),
                               static_cast<long>(profile.size()));
}

srgb_conversion::srgb_conversion(FIBITMAP* image) {
    const FIICCPROFILE* embedded = FreeImage_GetICCProfile(image);
    if (embedded == nullptr || embedded->data == nullptr || embedded->size == 0) return;
    profile_ = cmsOpenProfileFromMem(embedded->data, embedded->size);
    if (profile_ != nullptr && cmsGetColorSpace(profile_) != cmsSigRgbData) {
        cmsCloseProfile(profile_);
        profile_ = nullptr;
    }
}

srgb_conversion::~srgb_conversion() {
    if (profile_ != nullptr) cmsCloseProfile(profile_);
}

void srgb_conversion::apply(FIBITMAP* image) const {
    if (profile_ == nullptr) return;
    const bool alpha = FreeImage_GetBPP(image) == 32;
    const std::unique_ptr<void, profile_deleter> srgb(cmsCreate_sRGBProfile());
    if (!srgb) return;
    const cmsUInt32Number format = pixel_format(alpha);
    const std::unique_ptr<void, transform_deleter> transform(cmsCreateTransform(
        profile_, format, srgb.get(), format, INTENT_PERCEPTUAL, alpha ? cmsFLAGS_COPY_ALPHA : 0));
    if (!transform) return;
    const unsigned width = FreeImage_GetWidth(image);
    for (unsigned y = 0; y < FreeImage_GetHeight(image); ++y) {
        BYTE* line = FreeImage_GetScanLine(image, static_cast<int>(y));
        cmsDoTransform(transform.get(), line, line, width);
    }
}

} // namespace quorin::host
