// How a camera held the picture (its Exif orientation), and turning the
// pixels to match.
#pragma once

#include "imaging/bitmap.h"

namespace quorin::host {

// The orientation (1 to 8) in the metadata the loader read; 1 when there
// is none.
int exif_orientation(FIBITMAP* image);

// Puts `orientation` where exif_orientation finds it, for a loader that
// does not.
void set_exif_orientation(FIBITMAP* image, int orientation);

// Whether the orientation turns the picture a quarter, so that it shows
// with width and height exchanged.
bool turns_a_quarter(int orientation);

// Turns and mirrors `image` (8 bits a channel) so that it shows upright.
bool turn_upright(bitmap& image, int orientation);

} // namespace quorin::host
