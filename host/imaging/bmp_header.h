// BMP info headers the image library refuses. Besides OS/2's, it reads
// the 40-byte Windows form only, while the later ones (V2, V3, V4 and V5:
// 52, 56, 108 and 124 bytes, which browsers show and many programs write)
// begin with the same 40 bytes and add colour masks and colour-space
// fields after them. The palette and the pixels are the same, so such a
// file's head is rewritten to the 40-byte form, and the pixels are read
// from the file where they lie.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorin::host {

// The most of a file's head that is read to rewrite it: the headers, a
// palette of 256 colours and room for a gap before the pixels.
inline constexpr std::size_t bmp_head_limit = 64 * 1024;

struct plain_bmp_head {
    // The file header, the 40-byte info header, its colour masks when the
    // pixels are coded by them, and the palette: up to the pixels.
    std::string bytes;
    std::uint64_t pixels_at; // where the pixels start in the file
    // Where an ICC profile embedded by a V5 header lies in the file.
    std::uint64_t profile_at = 0;
    std::uint32_t profile_size = 0;
};

// `head` (the file's first bytes, up to bmp_head_limit) rewritten with the
// 40-byte info header; nullopt when the header is a form the library reads
// already, or the file is no BMP or a damaged one. 32-bit pixels with the
// usual blue, green, red and alpha masks become plain 32-bit ones, which
// the library reads with their alpha; other masks stay masks, and alpha
// they code is dropped.
std::optional<plain_bmp_head> plain_bmp_head_of(std::string_view head);

} // namespace quorin::host
