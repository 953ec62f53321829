// Everything the host's converter needs for one request. A pointer to it
// travels down the module chain as the first of the three request values.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "convert/conversion_admission.h"
#include "trelvane_module.h"
#include "variant/output_format.h"
#include "variant/request_parameters.h"
#include "variant/resize_box.h"

namespace quorin::host::os {
class read_only_file;
}

namespace quorin::host {

struct source_header;
class http_exchange;
class miss_coalescer;
class metrics;
class conversion_workers;
struct conversion_job;

// How the answer came about, for the access log and the metrics.
enum class cache_outcome { none, hit, stored, direct };

// The host's core converter, reached through the modules' OnConvertCore
// chain: decodes, fits and encodes into `out`; returns an HTTP status, 200
// when `out` holds the image.
using core_converter = int (*)(const conversion_job* job, FIMEMORY* out);

// Returned by the core converter when the source is no longer the size the
// cache key was planned for: it changed since, and must be named again.
inline constexpr int source_reshaped_status = 409;
// Returned when the conversion ran past its time and was stopped.
inline constexpr int conversion_timeout_status = 504;

struct conversion_job {
    // The source, opened confined below the images directory: the file
    // whose format was checked is the one decoded.
    const os::read_only_file* source = nullptr;
    // Opens it when the request found it by its status alone (source null):
    // a hit never needs it open. Null when it is gone.
    std::function<const os::read_only_file*()> open_source;
    std::filesystem::path relative_source; // below the images directory
    int source_format = -1;
    conversion_parameters parameters;
    output_format format = output_format::png;
    std::optional<resize_plan> plan;    // when the source's size was known before decoding
    unsigned source_bits_per_pixel = 0; // with the plan, as the source decodes
    std::u16string cache_key;
    std::uint64_t source_time = 0;

    http_exchange* exchange = nullptr;
    miss_coalescer* coalescer = nullptr;
    conversion_admission* admission = nullptr;
    metrics* counters = nullptr;
    conversion_workers* workers = nullptr; // null: converted in this process
    core_converter convert_core = nullptr; // the first module's OnConvertCore

    cache_outcome outcome = cache_outcome::none;
    int failure_status = 0;                                  // when the converter gave no answer
    admission_verdict admitted = admission_verdict::granted; // otherwise it never ran
};

// Plans the conversion from the source's header and names its cache entry.
void name_cache_entry(conversion_job& job);
// The same from the header's facts, when known without reading it. False
// when the header shows the crop asked for lying outside the source.
bool name_cache_entry(conversion_job& job, const std::optional<source_header>& header);

inline std::uint64_t to_request_value(conversion_job& job) {
    return reinterpret_cast<std::uint64_t>(&job);
}
inline conversion_job& job_of(std::uint64_t value) {
    return *reinterpret_cast<conversion_job*>(value);
}

} // namespace quorin::host
