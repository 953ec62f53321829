// BMP files written by hand for tests, in every info header form and
// depth browsers show, as the image library writes the 40-byte form only.
#pragma once

#include <array>
#include <functional>
#include <string>

namespace quorin::test {

struct bmp_picture {
    unsigned width = 0;
    unsigned height = 0;
    unsigned info_size = 40; // 40, or 52, 56, 108, 124 (V2 to V5)
    unsigned bits = 24;      // 1, 4 and 8 with a grey palette, 16 (5-5-5), 24, 32
    bool top_down = false;   // rows stored from the top (a negative height)
    // 32 bits only: an alpha mask (V3 and later) rather than an unused
    // fourth byte, which is written as 0.
    bool alpha = false;
    std::string icc_profile{}; // embedded by a V5 header after the pixels
};

// Red, green, blue and opacity (0 to 255) of the pixel at column x, row y
// from the top.
using bmp_pixels = std::function<std::array<unsigned, 4>(unsigned x, unsigned y)>;

// The file's bytes. Colour masks are written for 16 and 32 bits where the
// header holds them (V2 and later); for 1, 4 and 8 bits a palette of 2, 16
// or 256 greys holds the grey nearest to the red.
std::string bmp_file(const bmp_picture& picture, const bmp_pixels& pixel);

} // namespace quorin::test
