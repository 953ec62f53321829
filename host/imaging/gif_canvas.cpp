#include "imaging/gif_canvas.h"

#include <algorithm>

namespace quorin::host {
namespace {

// What becomes of a frame's area once its time is over, as the file
// stores it; anything else leaves it.
constexpr unsigned restore_background = 2;
constexpr unsigned restore_previous = 3;

// A number the GIF loader keeps with a frame; `otherwise` when absent.
unsigned frame_value(FIBITMAP* frame, const char* key, unsigned otherwise) {
    FITAG* tag = nullptr;
    if (!FreeImage_GetMetadata(FIMD_ANIMATION, frame, key, &tag) || FreeImage_GetTagCount(tag) < 1)
        return otherwise;
    const void* value = FreeImage_GetTagValue(tag);
    switch (FreeImage_GetTagType(tag)) {
    case FIDT_BYTE:
        return *static_cast<const BYTE*>(value);
    case FIDT_SHORT:
        return *static_cast<const WORD*>(value);
    case FIDT_LONG:
        return *static_cast<const DWORD*>(value);
    default:
        return otherwise;
    }
}

// Row `y` counted from the top: the library stores rows from the bottom.
template <typename Pixel>
Pixel* row(FIBITMAP* image, unsigned y) {
    return reinterpret_cast<Pixel*>(
        FreeImage_GetScanLine(image, static_cast<int>(FreeImage_GetHeight(image) - 1 - y)));
}

} // namespace

image_size screen_size(FIBITMAP* first_frame) {
    // A screen of no size is read as the first frame's, as viewers do.
    const unsigned width = frame_value(first_frame, "LogicalWidth", 0);
    const unsigned height = frame_value(first_frame, "LogicalHeight", 0);
    return {width != 0 ? width : FreeImage_GetWidth(first_frame),
            height != 0 ? height : FreeImage_GetHeight(first_frame)};
}

gif_canvas::gif_canvas(FIBITMAP* first_frame) : clear_{0, 0, 0, 0} {
    if (FreeImage_GetBackgroundColor(first_frame, &clear_)) clear_.rgbReserved = 0;
    const image_size size = screen_size(first_frame);
    screen_.reset(
        FreeImage_Allocate(static_cast<int>(size.width), static_cast<int>(size.height), 32));
    if (screen_) clear({0, 0, size.width, size.height});
}

bitmap gif_canvas::show(FIBITMAP* frame) {
    if (!screen_ || FreeImage_GetBPP(frame) != 8) return nullptr;
    dispose_of_last();
    const unsigned width = FreeImage_GetWidth(screen_.get());
    const unsigned height = FreeImage_GetHeight(screen_.get());
    // A frame may claim to reach past the screen; only its part on the
    // screen is drawn.
    const unsigned left = std::min(frame_value(frame, "FrameLeft", 0), width);
    const unsigned top = std::min(frame_value(frame, "FrameTop", 0), height);
    const area at{left, top, std::min(left + FreeImage_GetWidth(frame), width),
                  std::min(top + FreeImage_GetHeight(frame), height)};
    last_ = at;
    last_disposal_ = frame_value(frame, "DisposalMethod", 0);
    if (last_disposal_ == restore_previous) {
        before_last_.reset(FreeImage_Clone(screen_.get()));
        if (!before_last_) return nullptr;
    }
    draw(frame, at);
    return bitmap(FreeImage_Clone(screen_.get()));
}

void gif_canvas::dispose_of_last() {
    if (last_disposal_ == restore_background) clear(last_);
    if (last_disposal_ == restore_previous) screen_ = std::move(before_last_);
    last_disposal_ = 0;
}

void gif_canvas::draw(FIBITMAP* frame, const area& at) {
    const RGBQUAD* palette = FreeImage_GetPalette(frame);
    const int transparent = FreeImage_GetTransparentIndex(frame);
    for (unsigned y = at.top; y < at.bottom; ++y) {
        const BYTE* from = row<BYTE>(frame, y - at.top);
        RGBQUAD* to = row<RGBQUAD>(screen_.get(), y);
        for (unsigned x = at.left; x < at.right; ++x) {
            const BYTE index = from[x - at.left];
            if (index == transparent) continue;
            to[x] = palette[index];
            to[x].rgbReserved = 0xFF;
        }
    }
}

void gif_canvas::clear(const area& at) {
    for (unsigned y = at.top; y < at.bottom; ++y)
        std::fill(row<RGBQUAD>(screen_.get(), y) + at.left,
                  row<RGBQUAD>(screen_.get(), y) + at.right, clear_);
}

} // namespace quorin::host
