// The size a converted image gets: the source fitted inside the requested
// box, aspect ratio kept, never enlarged.
#pragma once

#include <optional>

namespace quorin::host {

struct image_size {
    unsigned width;
    unsigned height;
    friend bool operator==(const image_size&, const image_size&) = default;
};

// Either side of the box may be absent (no limit on that side). The side
// that limits the scale gets the box size exactly; the other is rounded to
// the nearest pixel and is at least 1.
image_size fit_inside(image_size source, std::optional<int> box_width,
                      std::optional<int> box_height);

} // namespace quorin::host
