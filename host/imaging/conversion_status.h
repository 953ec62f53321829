// How a conversion ended, and the source size past which it is refused.
#pragma once

#include <cstdint>

namespace quorin::host {

enum class conversion_status {
    converted,
    unreadable,
    too_large,
    crop_outside, // the crop asked for does not lie within the source
    failed,
};

// The most pixels a source may have. Decoding allocates for every pixel
// (up to 16 bytes each for deep formats), so a small file that claims a
// huge picture must be refused before the library allocates for it:
// 100 megapixels covers the cameras people use.
inline constexpr std::uint64_t max_source_pixels = 100'000'000;

} // namespace quorin::host
