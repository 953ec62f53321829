#include "imaging/animated_webp.h"

#include <cstdint>
#include <memory>
#include <webp/encode.h>
#include <webp/mux.h>

namespace quorin::host {
namespace {

struct encoder_deleter {
    void operator()(WebPAnimEncoder* encoder) const { WebPAnimEncoderDelete(encoder); }
};

struct picture {
    WebPPicture frame{};
    picture() { WebPPictureInit(&frame); }
    ~picture() { WebPPictureFree(&frame); }
    picture(const picture&) = delete;
    picture& operator=(const picture&) = delete;
};

struct assembled {
    WebPData data{};
    assembled() { WebPDataInit(&data); }
    ~assembled() { WebPDataClear(&data); }
    assembled(const assembled&) = delete;
    assembled& operator=(const assembled&) = delete;
};

// A number the library keeps with a frame; `otherwise` when absent.
std::uint32_t animation_value(FIBITMAP* frame, const char* key, std::uint32_t otherwise) {
    FITAG* tag = nullptr;
    if (!FreeImage_GetMetadata(FIMD_ANIMATION, frame, key, &tag) ||
        FreeImage_GetTagType(tag) != FIDT_LONG || FreeImage_GetTagCount(tag) < 1) {
        return otherwise;
    }
    return *static_cast<const std::uint32_t*>(FreeImage_GetTagValue(tag));
}

// The frame's pixels as libwebp takes them: rows from the top, in the
// library's blue-first order.
bool import_frame(FIBITMAP* image, WebPPicture& into) {
    const unsigned width = FreeImage_GetWidth(image), height = FreeImage_GetHeight(image);
    const unsigned bpp = FreeImage_GetBPP(image);
    if (bpp != 24 && bpp != 32) return false;
    into.use_argb = 1;
    into.width = static_cast<int>(width);
    into.height = static_cast<int>(height);
    // The library counts rows from the bottom: start at the top one and
    // step backwards.
    const auto pitch = static_cast<int>(FreeImage_GetPitch(image));
    const std::uint8_t* top = FreeImage_GetScanLine(image, static_cast<int>(height - 1));
    return (bpp == 32 ? WebPPictureImportBGRA(&into, top, -pitch)
                      : WebPPictureImportBGR(&into, top, -pitch)) != 0;
}

} // namespace

bool encode_webp_animation(const std::vector<bitmap>& frames, int quality, FIMEMORY* out) {
    if (frames.empty()) return false;
    WebPAnimEncoderOptions options;
    WebPConfig config;
    if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&config)) return false;
    options.anim_params.loop_count =
        static_cast<int>(animation_value(frames.front().get(), "Loop", 0));
    config.quality = static_cast<float>(quality);
    const std::unique_ptr<WebPAnimEncoder, encoder_deleter> encoder(
        WebPAnimEncoderNew(static_cast<int>(FreeImage_GetWidth(frames.front().get())),
                           static_cast<int>(FreeImage_GetHeight(frames.front().get())), &options));
    if (!encoder) return false;
    int start = 0; // when the frame shows, in milliseconds from the first
    for (const bitmap& frame : frames) {
        picture pixels;
        if (!import_frame(frame.get(), pixels.frame) ||
            !WebPAnimEncoderAdd(encoder.get(), &pixels.frame, start, &config)) {
            return false;
        }
        start += static_cast<int>(animation_value(frame.get(), "FrameTime", 0));
    }
    assembled file;
    if (!WebPAnimEncoderAdd(encoder.get(), nullptr, start, nullptr) ||
        !WebPAnimEncoderAssemble(encoder.get(), &file.data)) {
        return false;
    }
    return FreeImage_WriteMemory(file.data.bytes, 1, static_cast<unsigned>(file.data.size), out) ==
           file.data.size;
}

} // namespace quorin::host
