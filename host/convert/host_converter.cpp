#include "convert/host_converter.h"

#include <FreeImage.h>
#include <chrono>
#include <memory>
#include <optional>
#include <string_view>

#include "base/file_time.h"
#include "base/loop_threads.h"
#include "chain/http_exchange.h"
#include "convert/conversion_job.h"
#include "convert/conversion_memory.h"
#include "convert/conversion_workers.h"
#include "convert/miss_coalescer.h"
#include "imaging/image_codec.h"
#include "os/read_only_file.h"
#include "security/source_lookup.h"
#include "telemetry/metrics.h"

namespace quorin::host {
namespace {

// The answer the module would have given from its cache, sent from the
// converted stream: same status and header lines.
bool answer_directly(conversion_job& job, FIMEMORY* stream) {
    BYTE* data = nullptr;
    DWORD size = 0;
    if (!FreeImage_AcquireMemory(stream, &data, &size)) return false;
    const char* mime =
        FreeImage_GetFIFMimeType(static_cast<FREE_IMAGE_FORMAT>(library_format(job.format)));
    const std::string last_modified = "Last-Modified: " + http_date(job.source_time) + "\r\n";
    job.exchange->send("200 OK", mime != nullptr ? mime : "application/octet-stream",
                       std::string_view(reinterpret_cast<const char*>(data), size), last_modified);
    return true;
}

// The modification time of the file decoded, now.
std::optional<std::uint64_t> current_source_time(const conversion_job& job) {
    const auto time = job.source->modified_if_regular();
    if (!time) return std::nullopt;
    return to_file_time(*time);
}

// Runs the core converter once admitted, holding the slot and share
// while it decodes, fits and encodes; not_admitted, with job.admitted
// set, when it was not admitted. Only the request that converts comes
// here: a hit, or a wait for another's conversion of the key, holds no
// slot.
conversion_end convert_when_admitted(conversion_job& job, FIMEMORY* out) {
    const auto ticket = job.admission->admit(conversion_share(job, job.admission->memory_budget()));
    if (!ticket.granted()) {
        job.admitted = ticket.verdict();
        return conversion_end::not_admitted;
    }
    return job.convert_core(&job, out);
}

// Converts the source, and again under its new time when it changed while
// being converted: the bytes read could be the newer version's, and stored
// under the older time they would be served as that version. A source that
// changed its size is named again, as its cache name holds the geometry
// planned for the old size, and admitted anew for its new share. Null
// when no conversion matched a stable source, job.end saying why.
std::unique_ptr<memory_stream> convert_stable_source(conversion_job& job,
                                                     NTrelvaneModule::IImageOutputCached& output) {
    constexpr int attempts = 3;
    for (int attempt = 1;; ++attempt) {
        auto stream = std::make_unique<memory_stream>();
        job.end = convert_when_admitted(job, stream->get());
        if (job.end != conversion_end::converted && job.end != conversion_end::source_reshaped)
            return nullptr;
        const auto time = current_source_time(job);
        if (time == job.source_time && job.end == conversion_end::converted) return stream;
        if (!time || attempt == attempts) {
            job.end = conversion_end::failed;
            return nullptr;
        }
        job.source_time = *time;
        name_cache_entry(job);
        const FILETIME changed = to_FILETIME(job.source_time);
        output.SetCacheKey(job.cache_key.c_str(), &changed);
        job.exchange->set_answer_lines(answer_lines(job));
    }
}

// Decodes, fits and encodes in a worker, or in this process when there
// are no workers.
worker_result convert(const conversion_job& job, FIMEMORY* out) {
    if (job.workers != nullptr)
        return job.workers->convert(*job.source, job.source_format, job.parameters, job.format,
                                    out);
    worker_result result;
    result.outcome = worker_outcome::answered;
    result.status = convert_image(*job.source, job.source_format, job.parameters, job.format, out,
                                  &result.executed);
    return result;
}

} // namespace

extern "C" bool host_on_convert(EXTENSION_CONTROL_BLOCK*, std::uint64_t a, std::uint64_t,
                                std::uint64_t, NTrelvaneModule::IImageOutputCached* output) {
    conversion_job& job = job_of(a);
    const FILETIME source_time = to_FILETIME(job.source_time);
    output->SetCacheKey(job.cache_key.c_str(), &source_time);
    if (output->OutputFromCache() == S_OK) {
        job.outcome = cache_outcome::hit;
        job.end = conversion_end::converted;
        return true;
    }

    // From here on this request may wait long: for the key's converter, a
    // conversion slot, or its own conversion.
    const blocking_region waiting;
    // A converter of this key that finished between the first look and the
    // claim, or the one this request waited for, has stored the image.
    miss_coalescer::lease lease = job.coalescer->claim(job.cache_key);
    if (output->OutputFromCache() == S_OK) {
        job.outcome = cache_outcome::hit;
        job.end = conversion_end::converted;
        return true;
    }

    if (job.source == nullptr && job.lookup != nullptr && open_found(*job.root, *job.lookup))
        job.source = job.lookup->opened.get();
    if (job.source == nullptr) {
        job.end = conversion_end::source_gone;
        return false;
    }
    const auto stream = convert_stable_source(job, *output);
    if (!stream) return false;

    // The module sends the header only once the file is stored and stamped:
    // from then on the waiting requests can be served from the cache.
    job.exchange->on_header_sent([&lease] { lease.release(); });
    const HRESULT stored = output->Output(stream->get());
    job.exchange->on_header_sent(nullptr);
    if (stored == S_OK) {
        job.outcome = cache_outcome::stored;
        return true;
    }

    // Not stored (file busy, cache unwritable, disk full): the client gets
    // its image all the same.
    lease.release();
    if (!answer_directly(job, stream->get())) {
        job.end = conversion_end::failed;
        return false;
    }
    job.outcome = cache_outcome::direct;
    return true;
}

extern "C" bool host_on_convert_with_time(EXTENSION_CONTROL_BLOCK* request, std::uint64_t a,
                                          std::uint64_t b, std::uint64_t c,
                                          NTrelvaneModule::IImageOutputWithTimeCached* output) {
    return host_on_convert(request, a, b, c, output);
}

extern "C" conversion_end host_convert_core(const conversion_job* job, FIMEMORY* out) {
    const auto start = std::chrono::steady_clock::now();
    const worker_result result = convert(*job, out);
    if (job->counters != nullptr)
        job->counters->record_conversion(job->format, std::chrono::steady_clock::now() - start);
    switch (result.outcome) {
    case worker_outcome::timed_out:
        return conversion_end::timed_out;
    case worker_outcome::lost: // the worker crashed, or ran out of its memory
        return conversion_end::failed;
    case worker_outcome::answered:
        break;
    }
    switch (result.status) {
    case conversion_status::converted:
        return job->plan && result.executed != *job->plan ? conversion_end::source_reshaped
                                                          : conversion_end::converted;
    case conversion_status::unreadable:
        return conversion_end::unreadable;
    case conversion_status::too_large:
        return conversion_end::too_large;
    case conversion_status::crop_outside:
        return conversion_end::crop_outside;
    case conversion_status::failed:
        break;
    }
    return conversion_end::failed;
}

} // namespace quorin::host
