// Everything the host's converter needs for one request. A pointer to it
// travels down the module chain as the first of the three request values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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
class source_root;
struct source_lookup;
class http_exchange;
class miss_coalescer;
class metrics;
class conversion_workers;
struct conversion_job;

// How the answer came about, for the access log and the metrics.
enum class cache_outcome { none, hit, stored, direct };

// How a request's conversion ended: the one status the converter reports,
// from which the request handler makes its answer.
enum class conversion_end {
    converted,       // the image is in the stream, or went out to the client
    source_reshaped, // no longer the size its cache name was planned for
    source_gone,     // removed before it could be opened
    unreadable,      // not an image the host reads
    too_large,       // more pixels than a conversion may decode
    crop_outside,    // the crop asked for lies outside the source
    failed,          // it could not be converted, or its worker was lost
    timed_out,       // stopped past its time
    not_admitted,    // never ran: `admitted` says why
};

// The host's core converter, reached through the modules' OnConvertCore
// chain: decodes, fits and encodes into `out`.
using core_converter = conversion_end (*)(const conversion_job* job, FIMEMORY* out);

struct conversion_job {
    // The source, opened confined below the images directory: the file
    // whose format was checked is the one decoded. Null when the request
    // found it by its status alone: a hit never needs it open, and a
    // conversion opens it from `lookup` below `root`.
    const os::read_only_file* source = nullptr;
    const source_root* root = nullptr;
    source_lookup* lookup = nullptr;
    std::string relative_source; // below the images directory, as source_lookup has it
    int source_format = -1;
    conversion_parameters parameters;
    output_format format = output_format::png;
    std::optional<resize_plan> plan;    // when the source's size was known before decoding
    unsigned source_bits_per_pixel = 0; // with the plan, as the source decodes
    std::u16string cache_key;
    std::uint64_t source_time = 0;
    std::string_view caching; // the Cache-Control and Vary lines of an image answer

    http_exchange* exchange = nullptr;
    miss_coalescer* coalescer = nullptr;
    conversion_admission* admission = nullptr;
    metrics* counters = nullptr;
    conversion_workers* workers = nullptr; // null: converted in this process
    core_converter convert_core = nullptr; // the first module's OnConvertCore

    cache_outcome outcome = cache_outcome::none;
    conversion_end end = conversion_end::failed;
    admission_verdict admitted = admission_verdict::granted;
};

// Plans the conversion from the source's header and names its cache entry.
void name_cache_entry(conversion_job& job);
// The same from the header's facts, when known without reading it. False
// when the header shows the crop asked for lying outside the source.
bool name_cache_entry(conversion_job& job, const std::optional<source_header>& header);

// The host's header lines of a successful answer: its entity tag, of the
// entry as named now, and the caching lines.
std::string answer_lines(const conversion_job& job);
// The same with the entity tag already known.
std::string answer_lines(std::string_view etag, std::string_view caching);

inline std::uint64_t to_request_value(conversion_job& job) {
    return reinterpret_cast<std::uint64_t>(&job);
}
inline conversion_job& job_of(std::uint64_t value) {
    return *reinterpret_cast<conversion_job*>(value);
}

} // namespace quorin::host
