// Floating-point pixels brought to 8 bits a channel.
#pragma once

struct FIBITMAP;

namespace quorin::host {

// An 8-bit copy of a float grey, RGB or RGBA image; null when the library
// cannot make one. Values from 0 to 1 are display values, as image editors
// export them, and are scaled to 0-255 (alpha kept). Values beyond 1, or
// any `linear_light` source (a format that stores scene light, as OpenEXR
// and Radiance do), are tone-mapped instead: a plain clamp would burn out
// every value above 1, and linear values need a display curve.
FIBITMAP* float_to_8_bits(FIBITMAP* image, bool linear_light);

} // namespace quorin::host
