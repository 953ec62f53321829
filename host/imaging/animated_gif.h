// A multi-frame GIF converted frame by frame into an animation, keeping its
// frame times and looping.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/conversion_status.h"
#include "trelvane_module.h"

namespace quorin::host::os {
class read_only_file;
}

namespace quorin::host {

// Turns one frame (32-bit, as the animation shows it at that point) into a
// frame of the answer, as the encoder takes it. False when it cannot.
using frame_converter = std::function<bool(bitmap& frame)>;

// Encodes the converted frames as one animation into `out`. Each frame
// carries its display time, and the first the loop count, as the
// library's animation metadata ("FrameTime" in milliseconds, "Loop": the
// times it plays, 0 for ever). False when it cannot.
using animation_encoder = std::function<bool(const std::vector<bitmap>& frames, FIMEMORY* out)>;

// Converts every frame of the GIF open as `source` with `convert_frame` and
// encodes them with `encode` into `out`, each frame shown as long as in
// the source and looping as the source does. `first_frame` is the first
// frame as loaded alone, which tells the screen's size, background and
// loop count. nullopt when the source has a single frame, to be converted
// as a still picture. `too_large`, before any other frame is decoded, when
// the frames times the screen's pixels exceed `max_source_pixels`.
std::optional<conversion_status> convert_animation(const os::read_only_file& source,
                                                   FIBITMAP* first_frame,
                                                   const frame_converter& convert_frame,
                                                   const animation_encoder& encode, FIMEMORY* out);

// The library's GIF writer as an animation_encoder: 8-bit frames with
// palettes.
bool encode_gif_animation(const std::vector<bitmap>& frames, FIMEMORY* out);

} // namespace quorin::host
