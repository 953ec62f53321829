#include "imaging/bmp_loader.h"

#include <string>

#include "imaging/bmp_header.h"
#include "imaging/colour_profile.h"
#include "imaging/prefixed_reader.h"
#include "imaging/reader_io.h"
#include "imaging/windowed_reader.h"
#include "os/read_only_file.h"

namespace quorin::host {
namespace {

// The profile's bytes, at most a few megabytes, as any real one is.
std::string profile_at(const os::read_only_file& source, const plain_bmp_head& head) {
    constexpr std::uint32_t largest_profile = 4 * 1024 * 1024;
    if (head.profile_size == 0 || head.profile_size > largest_profile) return {};
    std::string profile(head.profile_size, '\0');
    const std::size_t read = source.read_at(head.profile_at, profile.data(), profile.size());
    return read == profile.size() ? profile : std::string();
}

bool every_alpha_clear(FIBITMAP* image) {
    const unsigned width = FreeImage_GetWidth(image), height = FreeImage_GetHeight(image);
    for (unsigned y = 0; y < height; ++y) {
        const BYTE* pixel = FreeImage_GetScanLine(image, static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x, pixel += 4) {
            if (pixel[FI_RGBA_ALPHA] != 0) return false;
        }
    }
    return true;
}

void make_opaque(FIBITMAP* image) {
    const unsigned width = FreeImage_GetWidth(image), height = FreeImage_GetHeight(image);
    for (unsigned y = 0; y < height; ++y) {
        BYTE* pixel = FreeImage_GetScanLine(image, static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x, pixel += 4) pixel[FI_RGBA_ALPHA] = 0xFF;
    }
}

} // namespace

FIBITMAP* load_bmp(const os::read_only_file& source, int flags) {
    std::string head(bmp_head_limit, '\0');
    head.resize(source.read_at(0, head.data(), head.size()));
    FIBITMAP* image = nullptr;
    std::string profile;
    if (auto plain = plain_bmp_head_of(head)) {
        profile = profile_at(source, *plain);
        prefixed_reader reader(std::move(plain->bytes), source, plain->pixels_at);
        image = FreeImage_LoadFromHandle(FIF_BMP, reader_io<prefixed_reader>(), &reader, flags);
    } else {
        windowed_reader reader(source);
        image = FreeImage_LoadFromHandle(FIF_BMP, reader_io<windowed_reader>(), &reader, flags);
    }
    if (image == nullptr || !FreeImage_HasPixels(image)) return image;
    attach_profile(image, profile);
    if (FreeImage_GetBPP(image) == 32 && every_alpha_clear(image)) make_opaque(image);
    return image;
}

} // namespace quorin::host
