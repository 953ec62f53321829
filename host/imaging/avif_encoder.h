// AV1 pictures in the HEIF container (AVIF), encoded with libheif.
#pragma once

#include <FreeImage.h>
#include <cstdint>

namespace quorin::host {

// The encoder's speeds: slower searches harder for the same quality in
// fewer bytes.
inline constexpr int slowest_avif_speed = 0;
inline constexpr int fastest_avif_speed = 9;
// Measured over the peer corpus (bench/formats.sh, BENCHMARKS.md): 9
// takes a fifth of the processor time of the encoder's own default, 6, for
// files 5 to 6% larger at a PSNR 0.1 to 0.3 dB lower, and 7 and 8 are both
// slower and larger than 9; a miss then costs about what a WebP one does.
inline constexpr int default_avif_speed = 9;

// The speed every later encode uses, from slowest_avif_speed to
// fastest_avif_speed; set once at start, before conversions run.
void set_avif_speed(int speed);

// Whether libheif has an AV1 encoder here.
bool can_encode_avif();

// The memory an encode of a picture of `pixels` takes beyond the picture
// itself at the speed set: a bound on the peak measured by
// bench/encoder_memory.sh (BENCHMARKS.md), many times the picture's own
// size, more at the slower speeds.
std::uint64_t avif_encoder_bytes(std::uint64_t pixels);

// Encodes `image` (24-bit, or 32-bit with its alpha kept) at `quality`
// (1 to 100) and writes the file through the library's stream `io`. False
// when it cannot.
bool encode_avif(FIBITMAP* image, int quality, FreeImageIO* io, fi_handle handle);

} // namespace quorin::host
