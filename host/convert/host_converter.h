// The host's own converter: the last link of every conversion chain.
#pragma once

#include <cstdint>

#include "convert/conversion_job.h"
#include "trelvane_module.h"

namespace quorin::host {

extern "C" {

// End of the OnConvert chain. `a` carries the conversion_job. Names the
// cache entry, answers from the cache when it can, and otherwise converts
// once per key (concurrent misses wait for that conversion) once admitted
// (job.admitted says why not, when not), hands the image to the module to
// store and serve, and answers the client itself when the module cannot
// store it.
bool host_on_convert(EXTENSION_CONTROL_BLOCK* request, std::uint64_t a, std::uint64_t b,
                     std::uint64_t c, NTrelvaneModule::IImageOutputCached* output);

// End of the OnConvertWithTime chain: the same, through the cached view of
// the object it is given.
bool host_on_convert_with_time(EXTENSION_CONTROL_BLOCK* request, std::uint64_t a, std::uint64_t b,
                               std::uint64_t c,
                               NTrelvaneModule::IImageOutputWithTimeCached* output);

// End of the OnConvertCore chain: decode, fit, encode (core_converter).
conversion_end host_convert_core(const conversion_job* job, FIMEMORY* out);

} // extern "C"

} // namespace quorin::host
