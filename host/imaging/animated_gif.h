// A multi-frame GIF converted frame by frame into a GIF, keeping its frame
// times and looping.
#pragma once

#include <functional>
#include <optional>

#include "imaging/bitmap.h"
#include "imaging/conversion_status.h"
#include "trelvane_module.h"

namespace quorin::host::os {
class read_only_file;
}

namespace quorin::host {

// Turns one frame (32-bit, as the animation shows it at that point) into a
// frame of the answer, 8-bit with a palette. False when it cannot.
using frame_converter = std::function<bool(bitmap& frame)>;

// Converts every frame of the GIF open as `source` with `convert_frame` and
// encodes them as one GIF into `out`, each frame shown as long as in the
// source and looping as the source does. `first_frame` is the first frame
// as loaded alone, which tells the screen's size, background and loop
// count. nullopt when the source has a single frame, to be converted as a
// still picture. `too_large`, before any other frame is decoded, when the
// frames times the screen's pixels exceed `max_source_pixels`.
std::optional<conversion_status> convert_animation(const os::read_only_file& source,
                                                   FIBITMAP* first_frame,
                                                   const frame_converter& convert_frame,
                                                   FIMEMORY* out);

} // namespace quorin::host
