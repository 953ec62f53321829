// Pixels brought from the colour profile embedded in a source to sRGB, so
// that answers look the same in every browser and carry no profile bytes.
#pragma once

#include <string>

struct FIBITMAP;

namespace quorin::host {

// Embeds `profile` (ICC bytes) in `image`, when it has none yet.
void attach_profile(FIBITMAP* image, const std::string& profile);

class srgb_conversion {
public:
    // Reads the RGB profile embedded in `image`, if any. Grey and CMYK
    // profiles are left out: the image library has made such pixels RGB
    // already.
    explicit srgb_conversion(FIBITMAP* image);
    ~srgb_conversion();
    srgb_conversion(const srgb_conversion&) = delete;
    srgb_conversion& operator=(const srgb_conversion&) = delete;

    // Converts `image` (24- or 32-bit, alpha kept) from the profile read to
    // sRGB in place. Without a profile, or with one the colour library
    // cannot use, the pixels stay as they are, as a browser would show them.
    void apply(FIBITMAP* image) const;

private:
    void* profile_ = nullptr; // the colour library's handle
};

} // namespace quorin::host
