#include "serving/request_handler.h"

#include <chrono>
#include <variant>

#include "base/file_time.h"
#include "base/hex_digit.h"
#include "chain/http_exchange.h"
#include "chain/module_chain.h"
#include "convert/conversion_job.h"
#include "imaging/format_negotiation.h"
#include "imaging/image_codec.h"
#include "imaging/source_facts.h"
#include "security/source_lookup.h"
#include "serving/conditional_request.h"
#include "serving/gallery.h"
#include "telemetry/refusal.h"
#include "variant/cache_key.h"

namespace quorin::host {
namespace {

// Error texts may quote the path or a parameter: every byte outside
// printable ASCII, and '%', goes out as %HH, so that no request byte
// reaches the client unescaped.
std::string escaped_text(std::string_view message) {
    std::string text;
    for (const char c : message) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < ' ' || byte > '~' || c == '%') {
            text += '%';
            text += upper_hex_digit(byte >> 4);
            text += upper_hex_digit(byte);
        } else {
            text += c;
        }
    }
    return text;
}

request_kind send_error(http_exchange& exchange, std::string_view status_text,
                        const std::string& message, std::string_view extra_headers = {}) {
    exchange.send(status_text, "text/plain; charset=utf-8", escaped_text(message) + "\n",
                  extra_headers);
    return request_kind::error;
}

// The kind of an image answer from its cache outcome; `error` when none.
request_kind kind_of(cache_outcome outcome) {
    switch (outcome) {
    case cache_outcome::hit:
        return request_kind::hit;
    case cache_outcome::stored:
        return request_kind::stored;
    case cache_outcome::direct:
        return request_kind::direct;
    case cache_outcome::none:
        break;
    }
    return request_kind::error;
}

std::string_view outcome_name(cache_outcome outcome, int status) {
    if (status == 304) return "304";
    switch (outcome) {
    case cache_outcome::hit:
        return "hit";
    case cache_outcome::stored:
        return "stored";
    case cache_outcome::direct:
        return "direct";
    case cache_outcome::none:
        break;
    }
    return "-";
}

} // namespace

request_handler::request_handler(std::filesystem::path images_root, const module_chain& chain,
                                 conversion_admission& admission, access_log& log,
                                 serving_policy policy, conversion_workers* workers)
    : own_sources_(std::make_unique<directory_sources>(std::move(images_root))),
      provider_(*own_sources_), chain_(chain), admission_(admission), log_(log),
      policy_(std::move(policy)), workers_(workers) {}

request_handler::request_handler(source_provider& sources, const module_chain& chain,
                                 conversion_admission& admission, access_log& log,
                                 serving_policy policy, conversion_workers* workers)
    : provider_(sources), chain_(chain), admission_(admission), log_(log),
      policy_(std::move(policy)), workers_(workers) {}

request_handler::answer_record request_handler::handle(http_exchange& exchange) {
    answer_record record{std::chrono::system_clock::now(), std::chrono::steady_clock::now()};
    if (exchange.request().path == "/healthz") {
        // A probe, not an image request: logged but left out of the counts.
        answer_health(exchange);
        record.counted = false;
    } else {
        cache_outcome outcome = cache_outcome::none;
        const request_kind kind = route(exchange, outcome);
        // Counted before the answer leaves, so that a client that asks for
        // the metrics right after its answer finds that answer counted.
        metrics_.record_request(kind);
        if (kind == request_kind::stored) metrics_.record_stored(exchange.content_length());
        record.outcome = outcome_name(outcome, exchange.status());
    }
    return record;
}

void request_handler::record_sent(const http_exchange& exchange, const answer_record& record,
                                  std::uint64_t bytes_sent) {
    const std::uint64_t body_sent =
        bytes_sent > exchange.header_bytes() ? bytes_sent - exchange.header_bytes() : 0;
    if (record.counted) metrics_.record_body_bytes(body_sent);
    if (!log_.enabled()) return;
    log_.write(access_line(exchange.request(), record.received, exchange.status(), body_sent,
                           record.outcome, std::chrono::steady_clock::now() - record.start));
}

namespace {

// One answer in the making: the request record the modules answer
// through, and what its log line needs.
struct exchange_answer final : http_handler::answer {
    exchange_answer(http_request request, answer_sink& out) : exchange(std::move(request), out) {}
    http_exchange exchange;
    request_handler::answer_record record;
};

} // namespace

std::unique_ptr<http_handler::answer> request_handler::respond(http_request request,
                                                               answer_sink& out) {
    auto made = std::make_unique<exchange_answer>(std::move(request), out);
    made->record = handle(made->exchange);
    return made;
}

void request_handler::sent(http_handler::answer& made, std::uint64_t bytes_sent) {
    auto& answered = static_cast<exchange_answer&>(made);
    record_sent(answered.exchange, answered.record, bytes_sent);
}

void request_handler::refused(const http_request& seen, int status, std::uint64_t body_bytes_sent,
                              std::chrono::steady_clock::duration time) {
    metrics_.record_request(request_kind::error);
    metrics_.record_body_bytes(body_bytes_sent);
    if (!log_.enabled()) return;
    log_.write(access_line(seen, std::chrono::system_clock::now() - time, status, body_bytes_sent,
                           "-", time));
}

void request_handler::answer_health(http_exchange& exchange) {
    const bool draining = draining_.load(std::memory_order_relaxed);
    // The 503, an error answer, gets no-store from the exchange.
    exchange.send(draining ? "503 Service Unavailable" : "200 OK", "text/plain; charset=utf-8",
                  draining ? "draining\n" : "ok\n", draining ? "" : "Cache-Control: no-store\r\n");
}

request_kind request_handler::refuse(http_exchange& exchange, refusal cause,
                                     std::string_view detail) {
    metrics_.record_refusal(cause);
    const refusal_row& row = row_of(cause);
    return send_error(exchange, row.status_line, refusal_text(cause, detail), row.extra_headers);
}

request_kind request_handler::refuse_lookup(http_exchange& exchange,
                                            source_lookup::result outcome) {
    const std::string& path = exchange.request().path;
    switch (outcome) {
    case source_lookup::result::escapes:
        return refuse(exchange, refusal::path);
    case source_lookup::result::too_large:
        return send_error(exchange, "422 Unprocessable Content",
                          path + " is larger than this server fetches");
    case source_lookup::result::unavailable:
        return send_error(exchange, "502 Bad Gateway", "the origin of " + path + " failed");
    case source_lookup::result::timed_out:
        return send_error(exchange, "504 Gateway Timeout",
                          "the origin of " + path + " did not answer in time");
    case source_lookup::result::found:
    case source_lookup::result::missing:
        break;
    }
    return send_error(exchange, "404 Not Found", "no image at " + path);
}

request_kind request_handler::route(http_exchange& exchange, cache_outcome& outcome) {
    const http_request& request = exchange.request();
    if (request.method != "GET" && request.method != "HEAD") {
        return send_error(exchange, "405 Method Not Allowed", "only GET and HEAD are served here",
                          "Allow: GET, HEAD\r\n");
    }
    if (request.path == "/") {
        exchange.send("200 OK", "text/html; charset=utf-8",
                      gallery_page(gallery_entries(provider_.root(), gallery_limit),
                                   policy_.signer ? &*policy_.signer : nullptr));
        return request_kind::page;
    }
    if (request.path == "/metrics") {
        exchange.send("200 OK", "text/plain; version=0.0.4; charset=utf-8",
                      metrics_.render() + provider_.metrics_text());
        return request_kind::page;
    }
    return answer_image(exchange, outcome);
}

// One image request on its way through the steps below.
struct request_handler::image_request {
    explicit image_request(http_exchange& answering)
        : exchange(answering), request(answering.request()) {}
    http_exchange& exchange;
    const http_request& request;
    // Taken before the source's identity is asked, as the facts memo takes it.
    std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
    source_lookup lookup;
    std::optional<source_facts> facts;
    conversion_job job;
    std::string etag;
};

request_kind request_handler::answer_image(http_exchange& exchange, cache_outcome& outcome) {
    // Each step fills in its part of the request, or answers it (a refusal,
    // an error, a 304), which ends the way.
    using step = std::optional<request_kind> (request_handler::*)(image_request&);
    static constexpr step steps[] = {
        &request_handler::authorise,     &request_handler::locate,
        &request_handler::read_query,    &request_handler::learn_source,
        &request_handler::choose_format, &request_handler::name_entry,
        &request_handler::revalidate,
    };
    image_request image(exchange);
    for (const step next : steps) {
        if (const auto answered = (this->*next)(image)) return *answered;
    }
    return convert(image, outcome);
}

std::optional<request_kind> request_handler::authorise(image_request& image) {
    // Checked first, so that an unsigned flood costs no file system call.
    if (policy_.signer && !policy_.signer->verify(image.request.path, image.request.query))
        return refuse(image.exchange, refusal::signature);
    return std::nullopt;
}

std::optional<request_kind> request_handler::locate(image_request& image) {
    image.lookup = provider_.find(image.request.path);
    if (image.lookup.outcome != source_lookup::result::found)
        return refuse_lookup(image.exchange, image.lookup.outcome);
    return std::nullopt;
}

std::optional<request_kind> request_handler::read_query(image_request& image) {
    auto parsed = parse_parameters(policy_.signer ? canonical_query(image.request.query)
                                                  : std::string(image.request.query));
    if (const auto* message = std::get_if<std::string>(&parsed))
        return refuse(image.exchange, refusal::parameters, *message);
    image.job.parameters = std::get<conversion_parameters>(parsed);
    const conversion_parameters& asked = image.job.parameters;
    if (policy_.sizes && !policy_.sizes->allows(asked.width, asked.height))
        return refuse(image.exchange, refusal::size, policy_.sizes->listing());
    return std::nullopt;
}

std::optional<request_kind> request_handler::learn_source(image_request& image) {
    image.facts = sources_.known(image.lookup.identity);
    if (!image.facts) {
        // A source found by its status alone is opened only when its bytes
        // are needed: for facts not yet remembered, or for a conversion.
        if (!image.lookup.opened && !open_found(provider_.root(), image.lookup))
            return send_error(image.exchange, "404 Not Found", "no image at " + image.request.path);
        image.facts = sources_.of(*image.lookup.opened, image.lookup.identity, image.now);
    }
    if (!image.facts->format) {
        return send_error(image.exchange, "415 Unsupported Media Type",
                          image.request.path + " is not an image this server reads");
    }
    return std::nullopt;
}

std::optional<request_kind> request_handler::choose_format(image_request& image) {
    conversion_job& job = image.job;
    job.format = job.parameters.format.value_or(default_output_format(*image.facts->format));
    if (job.parameters.negotiate_format)
        job.format = negotiated_format(image.request.accept, job.format);
    if (!can_write(job.format))
        return refuse(image.exchange, refusal::format, format_name(job.format));
    return std::nullopt;
}

std::optional<request_kind> request_handler::name_entry(image_request& image) {
    conversion_job& job = image.job;
    job.source = image.lookup.opened.get();
    job.root = &provider_.root();
    job.lookup = &image.lookup;
    job.relative_source = image.lookup.relative;
    job.source_format = *image.facts->format;
    job.source_time = to_file_time(image.lookup.modified);
    // The key is planned from the source's header (as remembered for this
    // version of it), so that requests that make the same image share it,
    // and a 304 needs no more than that.
    if (!name_cache_entry(job, image.facts->header)) {
        const image_size shown = image.facts->header->shown;
        return refuse(image.exchange, refusal::parameters,
                      "the crop lies outside " + image.request.path + ", which is " +
                          std::to_string(shown.width) + "x" + std::to_string(shown.height));
    }
    return std::nullopt;
}

std::optional<request_kind> request_handler::revalidate(image_request& image) {
    // Preconditions are answered from the request alone.
    conversion_job& job = image.job;
    job.caching = caching_lines_;
    image.etag = entity_tag(job.cache_key, job.source_time);
    switch (evaluate_preconditions(image.request, image.etag, job.source_time)) {
    case precondition::failed:
        return send_error(image.exchange, "412 Precondition Failed",
                          "the image does not meet the request's If-Match or If-Unmodified-Since");
    case precondition::not_modified:
        image.exchange.send_header("304 Not Modified",
                                   answer_lines(image.etag, job.caching) + "\r\n");
        return request_kind::not_modified;
    case precondition::proceed:
        break;
    }
    return std::nullopt;
}

request_kind request_handler::convert(image_request& image, cache_outcome& outcome) {
    conversion_job& job = image.job;
    job.exchange = &image.exchange;
    job.coalescer = &coalescer_;
    job.admission = &admission_;
    job.counters = &metrics_;
    job.workers = workers_;
    job.convert_core = reinterpret_cast<core_converter>(chain_.convert_core());
    image.exchange.set_answer_lines(answer_lines(image.etag, job.caching));
    const bool answered = chain_.convert(image.exchange.record(), to_request_value(job), 0, 0);
    if (image.exchange.header_sent()) {
        if (!answered) return request_kind::error;
        outcome = job.outcome;
        return kind_of(job.outcome);
    }
    return report_failure(image);
}

request_kind request_handler::report_failure(image_request& image) {
    const conversion_job& job = image.job;
    http_exchange& exchange = image.exchange;
    const std::string& path = image.request.path;
    switch (job.end) {
    case conversion_end::not_admitted:
        if (job.admitted == admission_verdict::too_large)
            return refuse(exchange, refusal::memory, path);
        return refuse(exchange, job.admitted == admission_verdict::queue_full
                                    ? refusal::queue_full
                                    : refusal::queue_wait);
    case conversion_end::timed_out:
        return refuse(exchange, refusal::timeout, path);
    case conversion_end::source_gone:
        return send_error(exchange, "404 Not Found", "no image at " + path);
    case conversion_end::unreadable:
        return send_error(exchange, "415 Unsupported Media Type", path + " could not be decoded");
    case conversion_end::too_large:
        return send_error(exchange, "422 Unprocessable Content",
                          path + " has more than " + std::to_string(max_source_pixels / 1'000'000) +
                              " megapixels");
    case conversion_end::crop_outside:
        return send_error(exchange, "400 Bad Request", "the crop lies outside " + path);
    case conversion_end::converted:
    case conversion_end::source_reshaped:
    case conversion_end::failed:
        break;
    }
    return send_error(exchange, "500 Internal Server Error",
                      path + " could not be converted to " + std::string(format_name(job.format)));
}

} // namespace quorin::host
