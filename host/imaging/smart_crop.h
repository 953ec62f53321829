// Where a cover crop keeps the most detail: the window placed where the
// picture's edges are densest.
//
// Detail is edge energy: the sum of the brightness gradient's size over
// the window, a plain measure of saliency. It is chosen over a window's
// entropy because it says where the detail lies rather than how spread
// its grey levels are (a smooth sky or a soft gradient has many levels
// and no detail a viewer sees), and because with a table of running sums
// every window position costs the same few additions, so the search is
// linear in the pixels, where entropy needs a histogram per position.
#pragma once

#include "imaging/bitmap.h"
#include "variant/resize_box.h"

namespace quorin::host {

// The area of `window` size within `region` of `image` (any bit depth the
// library converts to grey, rows counted from the top) that holds the most
// detail; of equal ones, the nearest to the middle, so that a picture
// without detail is cut in the middle.
image_area most_detailed_window(FIBITMAP* image, const image_area& region, image_size window);

// Moves the plan's kept part within its detail_search to where `image`
// (decoded at the plan's source size or reduced from it) has the most
// detail, and ends the search: the plan then holds the place, so that
// every frame of an animation is cut alike.
void place_by_detail(FIBITMAP* image, resize_plan& plan);

} // namespace quorin::host
