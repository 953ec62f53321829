// The picture an animated GIF shows at each frame: every frame, loaded raw
// (8-bit, as stored), is drawn at its place over what the frames before it
// left, so that each frame costs the same however many came before.
#pragma once

#include "imaging/bitmap.h"
#include "variant/resize_box.h"

namespace quorin::host {

// The size of the screen the animation plays on, read from its first
// frame loaded raw: known before any other frame is decoded.
image_size screen_size(FIBITMAP* first_frame);

class gif_canvas {
public:
    // A clear screen for the animation whose first frame, loaded raw, is
    // `first_frame`.
    explicit gif_canvas(FIBITMAP* first_frame);

    // Clears what the frame before asked to be cleared, draws `frame`
    // (8-bit) and gives a copy of the whole screen as then shown, 32-bit;
    // null when `frame` is not 8-bit or memory runs out.
    bitmap show(FIBITMAP* frame);

private:
    // A frame's area on the screen, cut to the screen.
    struct area {
        unsigned left, top, right, bottom;
    };

    void dispose_of_last();
    void draw(FIBITMAP* frame, const area& at);
    void clear(const area& at);

    bitmap screen_;
    // Transparent, in the file's background colour: resizing lets a
    // transparent pixel's colour bleed into its neighbours.
    RGBQUAD clear_;
    area last_{};
    unsigned last_disposal_ = 0;
    bitmap before_last_; // the screen before the last frame, when it asked for it back
};

} // namespace quorin::host
