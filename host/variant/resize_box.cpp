#include "variant/resize_box.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace quorin::host {
namespace {

// length * numerator / denominator, rounded to nearest, at least 1.
unsigned scaled(unsigned length, std::uint64_t numerator, std::uint64_t denominator) {
    const std::uint64_t result = (length * numerator + denominator / 2) / denominator;
    return static_cast<unsigned>(std::max<std::uint64_t>(result, 1));
}

// The largest area of the box's shape inside `source`, placed by `anchor`.
image_area cover_area(image_size source, gravity anchor, unsigned box_width, unsigned box_height) {
    image_area area{0, 0, source.width, source.height};
    if (std::uint64_t{box_width} * source.height >= std::uint64_t{box_height} * source.width) {
        area.height = std::min(scaled(source.width, box_height, box_width), source.height);
    } else {
        area.width = std::min(scaled(source.height, box_width, box_height), source.width);
    }
    // Where the area sits in the spare width and height, in halves of it:
    // 0 at the start (left, top), 1 centred, 2 at the end.
    struct placement {
        unsigned across;
        unsigned down;
    };
    static constexpr placement placements[] = {
        {1, 1}, {1, 0}, {1, 2}, {2, 1}, {0, 1}, {2, 0}, {0, 0}, {2, 2}, {0, 2}, {1, 1},
    }; // in the order of `gravity`; smart starts in the middle
    const placement place = placements[static_cast<std::size_t>(anchor)];
    area.left = static_cast<unsigned>(std::uint64_t{source.width - area.width} * place.across / 2);
    area.top = static_cast<unsigned>(std::uint64_t{source.height - area.height} * place.down / 2);
    return area;
}

image_area whole_of(image_size source) { return {0, 0, source.width, source.height}; }

} // namespace

unsigned rescaled(unsigned length, unsigned to, unsigned from) {
    return static_cast<unsigned>((std::uint64_t{length} * to + from / 2) / from);
}

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

resize_plan plan_resize(image_size source, fit_mode mode, gravity anchor,
                        std::optional<int> box_width, std::optional<int> box_height) {
    resize_plan plan{source, {0, 0, source.width, source.height}, source};
    if (source.width == 0 || source.height == 0) return plan;
    if (mode == fit_mode::inside || !box_width || !box_height) {
        plan.output = fit_inside(source, box_width, box_height);
        return plan;
    }
    const image_size box{static_cast<unsigned>(*box_width), static_cast<unsigned>(*box_height)};
    if (mode == fit_mode::fill) {
        plan.output = box;
        return plan;
    }
    plan.kept = cover_area(source, anchor, box.width, box.height);
    if (anchor == gravity::smart && plan.kept != whole_of(source)) {
        plan.detail_search = whole_of(source);
    }
    const bool holds_the_box = plan.kept.width >= box.width && plan.kept.height >= box.height;
    plan.output = holds_the_box ? box : image_size{plan.kept.width, plan.kept.height};
    return plan;
}

std::optional<resize_plan> plan_resize(image_size source, const image_area& crop, fit_mode mode,
                                       gravity anchor, std::optional<int> box_width,
                                       std::optional<int> box_height) {
    if (std::uint64_t{crop.left} + crop.width > source.width ||
        std::uint64_t{crop.top} + crop.height > source.height) {
        return std::nullopt;
    }
    resize_plan plan = plan_resize({crop.width, crop.height}, mode, anchor, box_width, box_height);
    plan.source = source;
    for (image_area* area : {&plan.kept, plan.detail_search ? &*plan.detail_search : nullptr}) {
        if (area == nullptr) continue;
        area->left += crop.left;
        area->top += crop.top;
    }
    return plan;
}

} // namespace quorin::host
