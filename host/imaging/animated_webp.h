// Animations encoded as animated WebP with libwebp's animation encoder.
#pragma once

#include <vector>

#include "imaging/bitmap.h"

namespace quorin::host {

// An animation_encoder (animated_gif.h) for WebP: frames of 24 or 32 bits,
// alpha kept, lossy at `quality` (1 to 100), each shown for its
// "FrameTime" and looping as the first frame's "Loop" says.
bool encode_webp_animation(const std::vector<bitmap>& frames, int quality, FIMEMORY* out);

} // namespace quorin::host
