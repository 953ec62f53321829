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

const char* DLL_CALLCONV heif_name() { return "HEIF"; }
const char* DLL_CALLCONV heif_description() { return "High Efficiency Image File Format"; }
const char* DLL_CALLCONV heif_extension() { return "heic,heif"; }
const char* DLL_CALLCONV heif_mime_type() { return "image/heif"; }

BOOL DLL_CALLCONV is_heif(FreeImageIO* io, fi_handle handle) {
    return kind_at(io, handle) == heif_kind::heif;
}

// What reading takes, the same for both: the decoder tells them apart.
void describe_reading(Plugin* plugin) {
    *plugin = Plugin{};
    plugin->load_proc = &load;
    plugin->supports_no_pixels_proc = &supported;
}

void DLL_CALLCONV describe_avif(Plugin* plugin, int) {
    describe_reading(plugin);
    plugin->format_proc = &avif_name;
    plugin->description_proc = &avif_description;
    plugin->extension_proc = &avif_extension;
    plugin->save_proc = can_encode_avif() ? &save_avif : nullptr;
    plugin->validate_proc = &is_avif;
    plugin->mime_proc = &avif_mime_type;
    plugin->supports_export_bpp_proc = &supports_export_bpp;
    plugin->supports_export_type_proc = &supports_export_type;
}

// Read only: browsers other than Safari show no HEIC.
void DLL_CALLCONV describe_heif(Plugin* plugin, int) {
    describe_reading(plugin);
    plugin->format_proc = &heif_name;
    plugin->description_proc = &heif_description;
    plugin->extension_proc = &heif_extension;
    plugin->validate_proc = &is_heif;
    plugin->mime_proc = &heif_mime_type;
}

struct format_codes {
    int avif;
    int heif;
};

const format_codes& registered() {
    static const format_codes codes{FreeImage_RegisterLocalPlugin(&describe_avif),
                                    FreeImage_RegisterLocalPlugin(&describe_heif)};
    return codes;
}

} // namespace

void register_heif_formats() { registered(); }

int avif_format() { return registered().avif; }

int heif_format() { return registered().heif; }

} // namespace quorin::host
