#include "imaging/heif_formats.h"

#include <FreeImage.h>
#include <array>

#include "imaging/avif_encoder.h"
#include "imaging/heif_brands.h"
#include "imaging/heif_decoder.h"
#include "variant/request_parameters.h"

namespace quorin::host {
namespace {

heif_kind kind_at(FreeImageIO* io, fi_handle handle) {
    std::array<char, heif_brands_head_size> head{};
    const unsigned read = io->read_proc(head.data(), 1, head.size(), handle);
    return heif_kind_of({head.data(), read});
}

FIBITMAP* DLL_CALLCONV load(FreeImageIO* io, fi_handle handle, int, int flags, void*) {
    return decode_heif(io, handle, (flags & FIF_LOAD_NOPIXELS) != 0);
}

BOOL DLL_CALLCONV supports_export_bpp(int bpp) { return bpp == 24 || bpp == 32; }
BOOL DLL_CALLCONV supports_export_type(FREE_IMAGE_TYPE type) { return type == FIT_BITMAP; }
BOOL DLL_CALLCONV supported() { return TRUE; }

const char* DLL_CALLCONV avif_name() { return "AVIF"; }
const char* DLL_CALLCONV avif_description() { return "AV1 Image File Format"; }
const char* DLL_CALLCONV avif_extension() { return "avif"; }
const char* DLL_CALLCONV avif_mime_type() { return "image/avif"; }

BOOL DLL_CALLCONV is_avif(FreeImageIO* io, fi_handle handle) {
    return kind_at(io, handle) == heif_kind::avif;
}

// The save flags are the quality, as for the library's JPEG and WebP.
BOOL DLL_CALLCONV save_avif(FreeImageIO* io, FIBITMAP* image, fi_handle handle, int, int flags,
                            void*) {
    const int quality = flags >= 1 && flags <= 100 ? flags : default_quality;
    return encode_avif(image, quality, io, handle);
}

void DLL_CALLCONV describe_avif(Plugin* plugin, int) {
    *plugin = Plugin{};
    plugin->format_proc = &avif_name;
    plugin->description_proc = &avif_description;
    plugin->extension_proc = &avif_extension;
    plugin->load_proc = &load;
    plugin->save_proc = can_encode_avif() ? &save_avif : nullptr;
    plugin->validate_proc = &is_avif;
    plugin->mime_proc = &avif_mime_type;
    plugin->supports_export_bpp_proc = &supports_export_bpp;
    plugin->supports_export_type_proc = &supports_export_type;
    plugin->supports_no_pixels_proc = &supported;
}

struct format_codes {
    int avif;
};

const format_codes& registered() {
    static const format_codes codes{FreeImage_RegisterLocalPlugin(&describe_avif)};
    return codes;
}

} // namespace

void register_heif_formats() { registered(); }

int avif_format() { return registered().avif; }

} // namespace quorin::host
