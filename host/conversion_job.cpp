#include "conversion_job.h"

#include "cache_key.h"
#include "image_codec.h"

namespace quorin::host {

void name_cache_entry(conversion_job& job) {
    const auto size = shown_size(*job.source, job.source_format);
    job.plan.reset();
    if (size) {
        job.plan = plan_resize(*size, job.parameters.fit, job.parameters.anchor,
                               job.parameters.width, job.parameters.height);
    }
    job.cache_key = cache_key(job.relative_source, job.parameters, job.plan, job.format);
}

} // namespace quorin::host
