#include "resize_box.h"

#include <algorithm>
#include <cstdint>

namespace quorin::host {
namespace {

// length * numerator / denominator, rounded to nearest, at least 1.
unsigned scaled(unsigned length, std::uint64_t numerator, std::uint64_t denominator) {
    const std::uint64_t result = (length * numerator + denominator / 2) / denominator;
    return static_cast<unsigned>(std::max<std::uint64_t>(result, 1));
}

} // namespace

image_size fit_inside(image_size source, std::optional<int> box_width,
                      std::optional<int> box_height) {
    if (source.width == 0 || source.height == 0) return source;
    // Which side limits: compare box_width / width with box_height / height
    // by cross-multiplying, exactly.
    const bool width_limits = box_width && static_cast<unsigned>(*box_width) < source.width &&
                              (!box_height || std::uint64_t(*box_width) * source.height <=
                                                  std::uint64_t(*box_height) * source.width);
    const bool height_limits =
        !width_limits && box_height && static_cast<unsigned>(*box_height) < source.height;

    if (width_limits) {
        const auto width = static_cast<unsigned>(*box_width);
        return {width, scaled(source.height, width, source.width)};
    }
    if (height_limits) {
        const auto height = static_cast<unsigned>(*box_height);
        return {scaled(source.width, height, source.height), height};
    }
    return source;
}

} // namespace quorin::host
