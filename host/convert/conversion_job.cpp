#include "convert/conversion_job.h"

#include "imaging/image_codec.h"
#include "variant/cache_key.h"

namespace quorin::host {

void name_cache_entry(conversion_job& job) {
    name_cache_entry(job, read_header(*job.source, job.source_format));
}

bool name_cache_entry(conversion_job& job, const std::optional<source_header>& header) {
    job.plan.reset();
    if (header) {
        job.plan = plan_for(header->shown, job.parameters);
        job.source_bits_per_pixel = header->bits_per_pixel;
    }
    job.cache_key = cache_key(job.relative_source, job.parameters, job.plan, job.format);
    return !header || job.plan;
}

std::string answer_lines(const conversion_job& job) {
    return answer_lines(entity_tag(job.cache_key, job.source_time), job.caching);
}

std::string answer_lines(std::string_view etag, std::string_view caching) {
    constexpr std::string_view name = "ETag: ";
    std::string lines;
    lines.reserve(name.size() + etag.size() + 2 + caching.size());
    lines.append(name).append(etag).append("\r\n").append(caching);
    return lines;
}

} // namespace quorin::host
