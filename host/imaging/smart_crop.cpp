#include "imaging/smart_crop.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace quorin::host {
namespace {

// The detail is measured on the region reduced to at most this many pixels
// on its longer side: enough to tell where the edges are, at a cost that
// does not grow with the source.
constexpr unsigned measured_side = 256;

// Running sums of the edge energy: sums[y][x] holds the energy of the
// pixels above and left of (x, y), one row and column of zeros first.
class energy_table {
public:
    explicit energy_table(FIBITMAP* grey)
        : width_(FreeImage_GetWidth(grey)), height_(FreeImage_GetHeight(grey)),
          sums_(std::size_t{width_ + 1} * (height_ + 1)) {
        const auto at = [grey, this](unsigned x, unsigned y) {
            // The library counts rows from the bottom.
            return static_cast<int>(
                FreeImage_GetScanLine(grey, static_cast<int>(height_ - 1 - y))[x]);
        };
        // At the border the difference is taken with the pixel itself, so
        // that detail there counts as well.
        const auto before = [](unsigned at) { return at > 0 ? at - 1 : 0; };
        const auto after = [](unsigned at, unsigned length) {
            return std::min(at + 1, length - 1);
        };
        for (unsigned y = 0; y < height_; ++y) {
            std::uint64_t row = 0;
            for (unsigned x = 0; x < width_; ++x) {
                const int across = std::abs(at(after(x, width_), y) - at(before(x), y));
                const int down = std::abs(at(x, after(y, height_)) - at(x, before(y)));
                row += static_cast<std::uint64_t>(across + down);
                sum(x + 1, y + 1) = sum(x + 1, y) + row;
            }
        }
    }

    unsigned width() const { return width_; }
    unsigned height() const { return height_; }

    // The energy of the window at (x, y).
    std::uint64_t within(unsigned x, unsigned y, unsigned width, unsigned height) const {
        return sum(x + width, y + height) - sum(x, y + height) - sum(x + width, y) + sum(x, y);
    }

private:
    std::uint64_t& sum(unsigned x, unsigned y) { return sums_[std::size_t{y} * (width_ + 1) + x]; }
    std::uint64_t sum(unsigned x, unsigned y) const {
        return sums_[std::size_t{y} * (width_ + 1) + x];
    }

    unsigned width_;
    unsigned height_;
    std::vector<std::uint64_t> sums_;
};

// The region as grey, reduced to measured_side at most.
bitmap reduced_grey(FIBITMAP* image, const image_area& region) {
    const bitmap part(FreeImage_Copy(image, static_cast<int>(region.left),
                                     static_cast<int>(region.top),
                                     static_cast<int>(region.left + region.width),
                                     static_cast<int>(region.top + region.height)));
    if (!part) return nullptr;
    bitmap grey(FreeImage_ConvertToGreyscale(part.get()));
    const unsigned longer = std::max(region.width, region.height);
    if (!grey || longer <= measured_side) return grey;
    const auto reduced = [longer](unsigned length) {
        return static_cast<int>(std::max(1u, length * measured_side / longer));
    };
    return bitmap(
        FreeImage_Rescale(grey.get(), reduced(region.width), reduced(region.height), FILTER_BOX));
}

} // namespace

image_area most_detailed_window(FIBITMAP* image, const image_area& region, image_size window) {
    const image_area middle{region.left + (region.width - window.width) / 2,
                            region.top + (region.height - window.height) / 2, window.width,
                            window.height};
    const bitmap grey = reduced_grey(image, region);
    if (!grey) return middle;
    const energy_table energy(grey.get());
    // The window in the reduced region's pixels.
    const auto reduced = [](unsigned length, unsigned reduced_whole, unsigned whole) {
        return static_cast<unsigned>(std::clamp<std::uint64_t>(
            (std::uint64_t{length} * reduced_whole + whole / 2) / whole, 1, reduced_whole));
    };
    const unsigned width = reduced(window.width, energy.width(), region.width);
    const unsigned height = reduced(window.height, energy.height(), region.height);

    // The best position, and of equal ones the nearest to the middle.
    const auto off_middle = [&](unsigned x, unsigned y) {
        return std::abs(2 * static_cast<long>(x) - static_cast<long>(energy.width() - width)) +
               std::abs(2 * static_cast<long>(y) - static_cast<long>(energy.height() - height));
    };
    unsigned best_x = (energy.width() - width) / 2, best_y = (energy.height() - height) / 2;
    std::uint64_t best = energy.within(best_x, best_y, width, height);
    for (unsigned y = 0; y + height <= energy.height(); ++y) {
        for (unsigned x = 0; x + width <= energy.width(); ++x) {
            const std::uint64_t here = energy.within(x, y, width, height);
            if (here > best || (here == best && off_middle(x, y) < off_middle(best_x, best_y))) {
                best = here;
                best_x = x;
                best_y = y;
            }
        }
    }
    // Back in the image's pixels, inside the region.
    const auto full = [](unsigned position, unsigned whole, unsigned reduced_whole,
                         unsigned spare) {
        return std::min(static_cast<unsigned>(std::uint64_t{position} * whole / reduced_whole),
                        spare);
    };
    return {region.left + full(best_x, region.width, energy.width(), region.width - window.width),
            region.top +
                full(best_y, region.height, energy.height(), region.height - window.height),
            window.width, window.height};
}

void place_by_detail(FIBITMAP* image, resize_plan& plan) {
    const image_size decoded{FreeImage_GetWidth(image), FreeImage_GetHeight(image)};
    const auto to_decoded = [&](const image_area& area) {
        return image_area{rescaled(area.left, decoded.width, plan.source.width),
                          rescaled(area.top, decoded.height, plan.source.height),
                          rescaled(area.width, decoded.width, plan.source.width),
                          rescaled(area.height, decoded.height, plan.source.height)};
    };
    image_area search = to_decoded(*plan.detail_search);
    search.width =
        std::clamp(search.width, 1u, decoded.width - std::min(search.left, decoded.width - 1));
    search.height =
        std::clamp(search.height, 1u, decoded.height - std::min(search.top, decoded.height - 1));
    const image_area window = to_decoded(plan.kept);
    const image_area found = most_detailed_window(
        image, search,
        {std::clamp(window.width, 1u, search.width), std::clamp(window.height, 1u, search.height)});
    plan.kept.left = std::min(rescaled(found.left, plan.source.width, decoded.width),
                              plan.source.width - plan.kept.width);
    plan.kept.top = std::min(rescaled(found.top, plan.source.height, decoded.height),
                             plan.source.height - plan.kept.height);
    plan.detail_search.reset();
}

} // namespace quorin::host
