// What the host does with one request: the gallery, the metrics, or an
// image through the module chain; errors a user can act on otherwise.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>

#include "convert/conversion_admission.h"
#include "convert/conversion_job.h"
#include "convert/miss_coalescer.h"
#include "http/http_handler.h"
#include "imaging/source_facts.h"
#include "security/allowed_sizes.h"
#include "security/source_provider.h"
#include "security/url_signature.h"
#include "serving/conditional_request.h"
#include "telemetry/access_log.h"
#include "telemetry/metrics.h"

namespace quorin::host {

class http_exchange;
class module_chain;
class conversion_workers;

// What the operator chose about caching by clients and which image
// requests are served at all.
struct serving_policy {
    unsigned max_age = 86'400; // seconds; 0: clients revalidate every time
    std::optional<url_signer> signer;
    std::optional<allowed_sizes> sizes;
};

class request_handler final : public http_handler {
public:
    // Conversions run when `admission` admits them, in `workers` (null: in
    // this process).
    request_handler(std::filesystem::path images_root, const module_chain& chain,
                    conversion_admission& admission, access_log& log, serving_policy policy = {},
                    conversion_workers* workers = nullptr);
    // Sources from `sources`, which must outlive the handler.
    request_handler(source_provider& sources, const module_chain& chain,
                    conversion_admission& admission, access_log& log, serving_policy policy = {},
                    conversion_workers* workers = nullptr);

    // From now on /healthz answers 503, so that a balancer stops sending
    // work; everything else is still served.
    void start_draining() { draining_.store(true, std::memory_order_relaxed); }

    // What the log line of an answer needs beyond the exchange, kept by
    // the front until the answer has left.
    struct answer_record {
        std::chrono::system_clock::time_point received;
        std::chrono::steady_clock::time_point start;
        std::string_view outcome = "-";
        bool counted = true; // probes are logged but not counted
    };

    // Answers the request completely and counts it.
    answer_record handle(http_exchange& exchange);

    // Once the answer has left, or the connection failed: logs it with the
    // body bytes among the `bytes_sent` that actually reached the client.
    void record_sent(const http_exchange& exchange, const answer_record& record,
                     std::uint64_t bytes_sent);

    const metrics& counters() const { return metrics_; }

    // The front's side: an exchange per request, logged once it has left.
    std::unique_ptr<answer> respond(http_request request, answer_sink& out) override;
    void sent(answer& made, std::uint64_t bytes_sent) override;
    // Counted and logged as the handler's own errors are.
    void refused(const http_request& seen, int status, std::uint64_t body_bytes_sent,
                 std::chrono::steady_clock::duration time) override;

private:
    struct image_request;

    request_kind route(http_exchange& exchange, cache_outcome& outcome);
    void answer_health(http_exchange& exchange);
    // An image answer, step by step.
    request_kind answer_image(http_exchange& exchange, cache_outcome& outcome);
    std::optional<request_kind> authorise(image_request& image);
    std::optional<request_kind> locate(image_request& image);
    std::optional<request_kind> read_query(image_request& image);
    std::optional<request_kind> learn_source(image_request& image);
    std::optional<request_kind> choose_format(image_request& image);
    std::optional<request_kind> name_entry(image_request& image);
    std::optional<request_kind> revalidate(image_request& image);
    request_kind convert(image_request& image, cache_outcome& outcome);
    request_kind report_failure(image_request& image);

    // Counted, and answered as the refusal table says.
    request_kind refuse(http_exchange& exchange, refusal cause, std::string_view detail = {});
    request_kind refuse_lookup(http_exchange& exchange, source_lookup::result outcome);

    std::unique_ptr<source_provider> own_sources_;
    source_provider& provider_;
    const module_chain& chain_;
    conversion_admission& admission_;
    access_log& log_;
    serving_policy policy_;
    // Of every image answer, made once from the policy.
    const std::string caching_lines_ = cache_control_line(policy_.max_age) + std::string(vary_line);
    conversion_workers* workers_;
    std::atomic<bool> draining_{false};
    metrics metrics_;
    miss_coalescer coalescer_;
    source_facts_memo sources_;
};

} // namespace quorin::host
