// Ownership of the image library's bitmaps.
#pragma once

#include <FreeImage.h>
#include <memory>

namespace quorin::host {

struct bitmap_deleter {
    void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};
using bitmap = std::unique_ptr<FIBITMAP, bitmap_deleter>;

// Replaces `image` with `converted` when the conversion gave a result.
inline bool replace(bitmap& image, FIBITMAP* converted) {
    if (converted == nullptr) return false;
    image.reset(converted);
    return true;
}

} // namespace quorin::host
