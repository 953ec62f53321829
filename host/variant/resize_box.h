// The geometry of a conversion: which part of the source is kept and the
// size it is scaled to, for each fit mode.
#pragma once

#include <optional>

namespace quorin::host {

struct image_size {
    unsigned width;
    unsigned height;
    friend bool operator==(const image_size&, const image_size&) = default;
};

// How the source meets the w x h box.
enum class fit_mode {
    inside, // all of it, aspect ratio kept, inside the box, never enlarged
    cover,  // the whole box, aspect ratio kept, the overflow cropped
    fill,   // exactly the box, stretched
};

// Which part a cover crop keeps: a side or corner, or (smart) the part
// with the most detail, found once the pixels are seen.
enum class gravity {
    center,
    north,
    south,
    east,
    west,
    northeast,
    northwest,
    southeast,
    southwest,
    smart,
};

struct image_area {
    unsigned left;
    unsigned top; // rows counted from the top
    unsigned width;
    unsigned height;
    friend bool operator==(const image_area&, const image_area&) = default;
};

// A source of `source` size gives `kept` of it scaled to `output`. Two
// requests with the same plan for a source give the same pixels.
struct resize_plan {
    image_size source;
    image_area kept;
    image_size output;
    // With smart gravity, where `kept` may move to: it is placed in the
    // middle of this area until the pixels show where the detail is.
    std::optional<image_area> detail_search{};
    friend bool operator==(const resize_plan&, const resize_plan&) = default;
};

// `length` of a picture `from` long, in the same picture `to` long: a
// part of the source in a copy decoded smaller, or the other way round.
// Rounded to the nearest pixel.
unsigned rescaled(unsigned length, unsigned to, unsigned from);

// Either side of the box may be absent (no limit on that side). The side
// that limits the scale gets the box size exactly; the other is rounded to
// the nearest pixel and is at least 1.
image_size fit_inside(image_size source, std::optional<int> box_width,
                      std::optional<int> box_height);

// The plan for `mode`. Cover and fill need both sides of the box. Cover
// never enlarges: a source smaller than the box gives the largest area of
// the box's shape it holds, unscaled.
resize_plan plan_resize(image_size source, fit_mode mode, gravity anchor,
                        std::optional<int> box_width, std::optional<int> box_height);

// The same for the part `crop` of the source, fitted as a source of that
// size would be; nullopt when `crop` does not lie within the source.
std::optional<resize_plan> plan_resize(image_size source, const image_area& crop, fit_mode mode,
                                       gravity anchor, std::optional<int> box_width,
                                       std::optional<int> box_height);

} // namespace quorin::host
