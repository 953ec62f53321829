// HEIF-container files (AVIF, HEIC) made for tests with libheif's
// encoders, as cameras and other programs write them.
#pragma once

#include <array>
#include <functional>
#include <string>

namespace quorin::test {

struct heif_picture {
    bool hevc = false; // HEVC pictures (HEIC) rather than AV1 (AVIF)
    unsigned width = 0;
    unsigned height = 0;
    int bits = 8; // 8; or 12 for AV1, 10 for HEVC (the depths the encoders here take)
    bool alpha = false;
    int orientation = 1;       // as Exif numbers it, stored as the container's turn and mirror
    bool lossless = false;     // the encoders' lossy output differs from one processor to the next
    std::string icc_profile{}; // embedded when not empty
};

// Red, green, blue and opacity from 0 to 1 of the pixel at column x, row y
// counted from the top, before any turn.
using heif_pixels = std::function<std::array<double, 4>(unsigned x, unsigned y)>;

// The file's bytes, coded at high quality with full chroma resolution, so
// that colours come back close to what `pixel` gave; empty when it cannot
// be written.
std::string heif_file(const heif_picture& picture, const heif_pixels& pixel);

} // namespace quorin::test
