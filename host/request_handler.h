// What the host does with one request: the gallery, the metrics, or an
// image through the module chain; errors a user can act on otherwise.
#pragma once

#include <filesystem>

#include "access_log.h"
#include "metrics.h"
#include "miss_coalescer.h"
#include "source_lookup.h"

namespace quorin::host {

class http_exchange;
class module_chain;

class request_handler {
public:
    request_handler(std::filesystem::path images_root, const module_chain& chain, access_log& log);

    // Answers the request completely, logs it and counts it.
    void handle(http_exchange& exchange);

    const metrics& counters() const { return metrics_; }

private:
    request_kind answer(http_exchange& exchange, cache_outcome& outcome);
    request_kind answer_image(http_exchange& exchange, cache_outcome& outcome);

    source_root images_;
    const module_chain& chain_;
    access_log& log_;
    metrics metrics_;
    miss_coalescer coalescer_;
};

} // namespace quorin::host
