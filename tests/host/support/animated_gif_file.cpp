#include "support/animated_gif_file.h"

#include <FreeImage.h>
#include <array>
#include <memory>

namespace quorin::test {
namespace {

void set_short(FIBITMAP* frame, const char* key, unsigned value) {
    const auto short_value = static_cast<WORD>(value);
    set_tag(frame, FIMD_ANIMATION, key, FIDT_SHORT, 1, &short_value, sizeof short_value);
}

void set_byte(FIBITMAP* frame, const char* key, unsigned value) {
    const auto byte_value = static_cast<BYTE>(value);
    set_tag(frame, FIMD_ANIMATION, key, FIDT_BYTE, 1, &byte_value, sizeof byte_value);
}

RGBQUAD colour(unsigned red, unsigned green, unsigned blue) {
    return {static_cast<BYTE>(blue), static_cast<BYTE>(green), static_cast<BYTE>(red), 0};
}

// A bitmap unloaded when it goes.
struct unloaded {
    void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};
using frame_bitmap = std::unique_ptr<FIBITMAP, unloaded>;

// Frame `index`, its indices a diagonal pattern from its top left corner,
// shifted by the index: a frame cut at its right or bottom keeps the rest.
frame_bitmap make_frame(const gif_frame& frame, unsigned index) {
    frame_bitmap bitmap(FreeImage_Allocate(static_cast<int>(frame.width),
                                           static_cast<int>(frame.height),
                                           static_cast<int>(frame.bpp)));
    if (!bitmap) return nullptr;
    const unsigned colours = frame.bpp == 1 ? 2 : frame.bpp == 4 ? 16 : 256;
    RGBQUAD* palette = FreeImage_GetPalette(bitmap.get());
    for (unsigned i = 0; i < colours; ++i)
        palette[i] = colour(i * 37 + index * 50, 255 - i * 11, index * 29 + i);
    for (unsigned y = 0; y < frame.height; ++y) {
        for (unsigned x = 0; x < frame.width; ++x) {
            auto value = static_cast<BYTE>((x * 7 + y * 3 + index * 5) % colours);
            FreeImage_SetPixelIndex(bitmap.get(), x, frame.height - 1 - y, &value);
        }
    }
    if (frame.transparent >= 0) FreeImage_SetTransparentIndex(bitmap.get(), frame.transparent);
    set_short(bitmap.get(), "FrameLeft", frame.left);
    set_short(bitmap.get(), "FrameTop", frame.top);
    set_byte(bitmap.get(), "DisposalMethod", frame.disposal);
    set_byte(bitmap.get(), "Interlaced", frame.interlaced ? 1 : 0);
    set_byte(bitmap.get(), "NoLocalPalette", frame.local_palette ? 0 : 1);
    const DWORD time = 100;
    set_tag(bitmap.get(), FIMD_ANIMATION, "FrameTime", FIDT_LONG, 1, &time, sizeof time);
    return bitmap;
}

// What the whole file has, carried by the first frame: the screen's size
// and, when asked for, a global palette and a background colour from it.
void describe_screen(FIBITMAP* first, unsigned width, unsigned height, bool global_palette) {
    set_short(first, "LogicalWidth", width);
    set_short(first, "LogicalHeight", height);
    if (!global_palette) return;
    std::array<RGBQUAD, 256> palette{};
    for (unsigned i = 0; i < palette.size(); ++i) palette.at(i) = colour(255 - i, i * 3, 90);
    set_tag(first, FIMD_ANIMATION, "GlobalPalette", FIDT_PALETTE, 256, palette.data(),
            static_cast<DWORD>(sizeof palette));
    // The writer stores the entry of the global palette that has this colour.
    FreeImage_SetBackgroundColor(first, &palette.at(7));
}

} // namespace

void set_tag(FIBITMAP* image, FREE_IMAGE_MDMODEL model, const char* key, FREE_IMAGE_MDTYPE type,
             DWORD count, const void* value, DWORD size) {
    FITAG* tag = FreeImage_CreateTag();
    FreeImage_SetTagKey(tag, key);
    FreeImage_SetTagType(tag, type);
    FreeImage_SetTagCount(tag, count);
    FreeImage_SetTagLength(tag, size);
    FreeImage_SetTagValue(tag, value);
    FreeImage_SetMetadata(model, image, key, tag);
    FreeImage_DeleteTag(tag);
}

bool write_animated_gif(const std::filesystem::path& file, unsigned width, unsigned height,
                        const std::vector<gif_frame>& frames, bool global_palette) {
    if (frames.empty()) return false;
    FIMULTIBITMAP* gif = FreeImage_OpenMultiBitmap(FIF_GIF, file.string().c_str(), TRUE, FALSE);
    if (gif == nullptr) return false;
    bool written = true;
    for (unsigned index = 0; index < frames.size() && written; ++index) {
        const frame_bitmap frame = make_frame(frames[index], index);
        written = frame != nullptr;
        if (!written) break;
        if (index == 0) describe_screen(frame.get(), width, height, global_palette);
        FreeImage_AppendPage(gif, frame.get());
    }
    return FreeImage_CloseMultiBitmap(gif, 0) != FALSE && written;
}

} // namespace quorin::test
