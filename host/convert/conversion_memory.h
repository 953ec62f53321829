// The memory a conversion needs, estimated before any pixel is decoded, so
// that admission can hold back conversions the budget cannot take.
#pragma once

#include <cstdint>

#include "variant/resize_box.h"

namespace quorin::host {

struct conversion_job;

// The decoded source at its own depth plus its copy resized to `output`
// at 32 bits a pixel, the widest layout the converter makes.
std::uint64_t conversion_bytes(image_size source, unsigned source_bits_per_pixel,
                               image_size output);

// The job's share of a `budget`: from the plan and depth its source's
// header gave, and for AVIF the encoder's own memory for the output,
// which the other writers do without. A source whose header cannot be
// read alone (GIF) may be anything up to the largest source accepted,
// decoded and resized at 32 bits a pixel (a GIF is widened to that from
// its palette); it is charged that, but never more than the whole budget,
// so that it still runs, alone when need be, rather than being refused as
// too large for what it may not be.
std::uint64_t conversion_share(const conversion_job& job, std::uint64_t budget);

} // namespace quorin::host
